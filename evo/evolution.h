#pragma once
// The evolution of a World, apart from its step: each tick's replacements and reproduction,
// the rank lists and the report every 200th tick. The world step's scratch is the caller's,
// so one Stepper serves any number of worlds in turn.
#include <array>
#include <cstdint>

#include "evo/report.h"
#include "evo/world.h"
#include "evo/world_state.h"
#include "sim/stepper.h"

namespace kav {

constexpr int kStatisticsPeriod = 200;

// What carries an evolution from one run to the next: every slot's Genome, the tick
// counter and the two live counts. The Genome file holds exactly this.
struct SavedEvolution {
    std::array<Genome, kMaxPredators> predatorGenomes{};
    std::array<Genome, kMaxPrey> preyGenomes{};
    std::int64_t tick = 0;
    std::int32_t predatorCount = 0;
    std::int32_t preyCount = 0;
};

// Builds the world with the given settings from its random source as it stands: 240 Agent
// slots (720 draws), then the Genomes, tick and counts of a saved evolution (counts clamped
// to 1..40 and 1..200) or, without one, random Genomes (15,120 draws), tick 0 and the start
// counts.
void setUpWorld(World& world, const ModelSettings& settings, int initialPredatorCount,
                int initialPreyCount, const SavedEvolution* saved = nullptr);

// One tick: size requests, the replacement of every caught, dead or starved Agent by an
// offspring (begin-tick for the others), the world step on `step`, the tick counter. On a
// multiple of 200 the tick's report goes into `report` and the result is true.
bool runTick(World& world, Stepper& step, TickReport& report);

// The report of the current tick: the Prey's mean rank position per reproduction mode and
// the two probes of every Prey Genome (on what the step's last sensing left; their
// dispersions carry over to the next report), the populations' summaries and the events.
TickReport makeReport(World& world, const Stepper& step);

// One population as it stands: count, mean and greatest generation, mean energy.
PopulationSummary summary(const World& world, bool predators);

// One Agent to be added or removed at the start of the next tick. The caller keeps the
// counts within 1..40 and 1..200.
void requestSizeChange(World& world, bool add, bool predator);

// Replaces a dead Agent in its slot by an offspring of well-ranked parents.
void reproduce(World& world, Agent& dead);

// The Genomes, tick and counts of the world, as the Genome file stores them.
SavedEvolution savedEvolution(const World& world);

// The running state beyond savedEvolution(); restoreWorldState puts it back into a world
// just set up from the matching SavedEvolution (same tick and counts).
WorldState worldState(const World& world);
void restoreWorldState(World& world, const WorldState& state);

// Gives a running world other settings from its current tick on: the settings and the
// radius and sense range of every Agent of each kind. The caller has checked them
// (checkSettings) and that the Agents stand where the new arena allows.
void changeSettings(World& world, const ModelSettings& settings);

// The two fixed test situations of the report: four Prey around the Agent, and one
// Predator ahead of it.
enum class Probe { fourPrey, predatorAhead };
// The response (the next velocity of a resting Agent with heading 0) of every Prey Genome
// in rank order to one probe, the inputs beyond the probe's as the step's last sensing left.
void probeResponses(const World& world, const Stepper& step, Probe probe,
                    std::array<std::array<float, 2>, kMaxPrey>& responses);

ProbeStatistics probeStatistics(const std::array<float, 2>* responses, int count,
                                float previousSpread);

// A Predator's success ratio: catches / (age + 50), in double precision.
double successRatio(const Agent& predator);

}  // namespace kav
