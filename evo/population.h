#pragma once
// One evolution as the programs run it: a World with the scratch of its step and the latest
// report.
#include "evo/evolution.h"
#include "evo/world.h"
#include "sim/stepper.h"

namespace kav {

class Population {
public:
    World world;
    Stepper step;  // the world step's scratch and what the last step left

    Population() = default;
    Population(const Population&) = delete;
    Population& operator=(const Population&) = delete;

    // Builds the world (see setUpWorld) from its random source as it stands, with the
    // standard settings but for the arena and the radii given.
    void setup(const Arena& arena, float preyRadius, float predatorRadius, int initialPredatorCount,
               int initialPreyCount, const SavedEvolution* saved = nullptr);
    void setup(const ModelSettings& settings, int initialPredatorCount, int initialPreyCount,
               const SavedEvolution* saved = nullptr);
    // The program's world: the standard settings, 10 Predators and 150 Prey unless the saved
    // evolution says otherwise.
    void setupStandard(const SavedEvolution* saved = nullptr) {
        setup(ModelSettings{}, 10, 150, saved);
    }

    // One tick; true when it made a report, which lastReport() then holds.
    bool runTick() { return kav::runTick(world, step, report_); }
    const TickReport& lastReport() const { return report_; }
    // The report a world taken back to an earlier tick had made last.
    void restoreLastReport(const TickReport& report) { report_ = report; }
    const TickReport& makeReport() {
        report_ = kav::makeReport(world, step);
        return report_;
    }
    // Births, deaths and captures since the evolution began.
    const EventCounts& events() const { return world.events; }

    PopulationSummary summary(bool predators) const { return kav::summary(world, predators); }
    SavedEvolution savedEvolution() const { return kav::savedEvolution(world); }
    WorldState worldState() const { return kav::worldState(world); }
    void restoreWorldState(const WorldState& state) { kav::restoreWorldState(world, state); }
    void requestSizeChange(bool add, bool predator) {
        kav::requestSizeChange(world, add, predator);
    }
    void reproduce(Agent& dead) { kav::reproduce(world, dead); }

private:
    TickReport report_;
};

}  // namespace kav
