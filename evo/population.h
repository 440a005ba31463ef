#pragma once
#include <array>
#include <cstdint>

#include "evo/report.h"
#include "evo/world_state.h"
#include "sim/agent.h"
#include "sim/arena.h"
#include "sim/random.h"
#include "sim/sensing.h"
#include "sim/stepper.h"

namespace kav {

constexpr int kStatisticsPeriod = 200;

// What carries an evolution from one run to the next: every slot's Genome, the tick
// counter and the two live counts. The Genome file holds exactly this.
struct SavedEvolution {
    std::array<std::array<float, kGenomeSize>, kMaxPredators> predatorGenomes{};
    std::array<std::array<float, kGenomeSize>, kMaxPrey> preyGenomes{};
    std::int64_t tick = 0;
    std::int32_t predatorCount = 0;
    std::int32_t preyCount = 0;
};

// The one owner of the simulated world: both Agent arrays with their Genomes, the live
// counts, the rank lists, the tick counter, the world step and the
// state the statistics carry from one report to the next.
class Population {
public:
    Population();
    Population(const Population&) = delete;
    Population& operator=(const Population&) = delete;

    // Builds the world: 240 Agent slots (720 draws), then the Genomes, tick and counts
    // of a saved evolution or, without one, random Genomes (15,120 draws), tick 0 and
    // the start counts.
    void setup(const Arena& arenaArg, float preyRadius, float predatorRadius,
               int initialPredatorCount, int initialPreyCount,
               const SavedEvolution* saved = nullptr);

    // The program's world: arena -5..5 x -4..4, Prey radius 0.05, Predator radius 0.02,
    // 10 Predators and 150 Prey unless the saved evolution says otherwise.
    void setupStandard(const SavedEvolution* saved = nullptr) {
        setup(kStandardArena, 0.05f, 0.02f, 10, 150, saved);
    }

    // One tick of the world. True when the tick is a multiple of 200: the tick made a
    // report, which lastReport() then holds.
    bool runTick();

    const TickReport& lastReport() const { return report_; }
    // Births, deaths and captures since the world was set up.
    const EventCounts& events() const { return events_; }

    // Composes the report of the current tick: the Prey's mean rank position per
    // reproduction mode and the two probes of every Prey Genome (which carry their
    // dispersion over to the next report), the populations' summaries and the events.
    const TickReport& makeReport();

    // One population as it stands: count, mean and greatest generation, mean energy.
    PopulationSummary summary(bool predators) const;

    // The Genomes, tick and counts of the world, as the Genome file stores them.
    SavedEvolution savedEvolution() const;

    // The running state beyond savedEvolution(); restoreWorldState puts it back into a
    // world just set up from the matching SavedEvolution (same tick and counts).
    WorldState worldState() const;
    void restoreWorldState(const WorldState& state);

    // One Agent to be added or removed at the start of the next tick. The caller keeps
    // the counts within 1..40 and 1..200.
    void requestSizeChange(bool add, bool predator);

    // Replaces a dead Agent in its slot by an offspring of well-ranked parents.
    void reproduce(Agent& dead);
    const float* genomeOf(const Agent& agent) const {
        return (agent.isPredator ? predatorGenomes.data() : preyGenomes.data())[agent.slot].data();
    }
    float* genomeOf(const Agent& agent) {
        return (agent.isPredator ? predatorGenomes.data() : preyGenomes.data())[agent.slot].data();
    }

    // The Agents in use, their Genomes, the settings and the random source, as the world
    // step takes them.
    WorldView view() {
        return {predators.data(),       predatorCount,      prey.data(), preyCount,
                predatorGenomes.data(), preyGenomes.data(), settings,    random};
    }

    Random random{1};
    ModelSettings settings;

    std::array<Agent, kMaxPredators> predators{};
    std::array<Agent, kMaxPrey> prey{};
    Arena arena;
    std::int64_t tick = 0;
    std::int32_t preyCount = 0;
    std::int32_t predatorCount = 0;
    Stepper step;
    std::array<std::int32_t, kMaxPredators> predatorRanks{};
    std::array<std::int32_t, kMaxPrey> preyRanks{};
    float sexualRankPct = 0;
    float clonalRankPct = 0;
    std::int32_t predatorSizeRequest = 0;
    std::int32_t preySizeRequest = 0;
    Agent probe{};
    std::array<std::array<float, 2>, kMaxPrey> probeOut{};
    float probeSpreadE = 0;
    float probeSpreadM = 0;
    float mutationAmplitude = 0;

    // Genome storage of every slot; each Agent's `genome` points into it.
    std::array<std::array<float, kGenomeSize>, kMaxPredators> predatorGenomes{};
    std::array<std::array<float, kGenomeSize>, kMaxPrey> preyGenomes{};

private:
    void applySizeRequest(std::int32_t& request, std::int32_t& count, Agent* agents,
                          std::int32_t* ranks);
    void climbPredatorRank(Agent& climber);
    void randomizeGenomes();
    void restore(const SavedEvolution& saved);
    ProbeStatistics runProbe(const float* values, int first, int valueCount, float& previousSpread);

    EventCounts events_;
    TickReport report_;
};

ProbeStatistics probeStatistics(const std::array<float, 2>* responses, int count,
                                float previousSpread);

// A Predator's success ratio: catches / (age + 50), in double precision.
double successRatio(const Agent& predator);

}  // namespace kav
