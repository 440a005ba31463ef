#pragma once
#include <cstdint>

namespace kav {

// Mean, dispersion and change of dispersion of the responses of all Prey Genomes to one
// fixed test situation (a probe).
struct ProbeStatistics {
    float meanX = 0;
    float meanY = 0;
    float spread = 0;
    float spreadChange = 0;
};

// What happened to the Agents since the world was set up. A birth is an offspring put
// into a slot: the replacement of a caught, dead or starved Agent, or an added one.
struct EventCounts {
    std::int64_t captures = 0;  // Prey caught by Predators
    std::int64_t predatorBirths = 0;
    std::int64_t preyBirths = 0;
    std::int64_t starvations = 0;     // Predators too long without a catch
    std::int64_t predatorDeaths = 0;  // out of energy or far outside the arena
    std::int64_t preyDeaths = 0;      // likewise, captures not counted
};

// One population as it stands: its live count, the generations and the mean energy of
// the Agents in use.
struct PopulationSummary {
    std::int32_t count = 0;
    double meanGeneration = 0;
    std::int64_t maxGeneration = 0;
    double meanEnergy = 0;
};

// The report the world makes every 200th tick. The statistics files, the window's panel
// and the time-series log are all made from it.
struct TickReport {
    std::int64_t tick = 0;
    // Mean rank position of the Prey of each reproduction mode, in percent of the list
    // (0 = top). No Prey is ever clonal, so the clonal mean is 0/0, not a number.
    float clonalRankPct = 0;
    float sexualRankPct = 0;
    ProbeStatistics probeE;  // responses to a scene of four Prey
    ProbeStatistics probeM;  // responses to one Predator ahead
    PopulationSummary predators;
    PopulationSummary prey;
    EventCounts events;
};

}  // namespace kav
