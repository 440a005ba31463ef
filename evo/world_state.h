#pragma once
#include <array>
#include <cstdint>

#include "evo/report.h"
#include "sim/agent.h"

namespace kav {

// What a running world holds beyond its SavedEvolution and the ticks to come depend on:
// the random source, every slot's Agent as it stands (positions, velocities, energy,
// ages, generations, flags), the rank lists, pending size requests, the dispersions the
// probes compare against and the event totals. A world set up from a SavedEvolution and
// then given its WorldState runs on exactly as the world it was taken from.
struct WorldState {
    std::uint32_t randomState = 1;
    // Copies of the Agents.
    std::array<Agent, kMaxPredators> predators{};
    std::array<Agent, kMaxPrey> prey{};
    std::array<std::int32_t, kMaxPredators> predatorRanks{};
    std::array<std::int32_t, kMaxPrey> preyRanks{};
    std::int32_t predatorSizeRequest = 0;
    std::int32_t preySizeRequest = 0;
    float probeSpreadE = 1.0f;
    float probeSpreadM = 1.0f;
    EventCounts events;
};

}  // namespace kav
