#pragma once
// The state of an evolution as a plain value: copy it, step the copies, compare them.
#include <array>
#include <cstdint>
#include <string>

#include "evo/report.h"
#include "sim/agent.h"
#include "sim/model_settings.h"
#include "sim/random.h"
#include "sim/world.h"

namespace kav {

// Everything the ticks to come depend on, and nothing else: the model's numbers, the random
// source, the tick counter, both populations (Agents and Genomes by slot, rank lists, live
// counts, pending size requests), the dispersions the next report's probes compare against
// and the event totals. It holds no pointer, so a copy is a world of its own that runs on
// exactly as the original. The step's scratch is the caller's (sim/stepper.h).
struct World {
    ModelSettings settings;
    Random random{1};
    std::int64_t tick = 0;
    std::int32_t predatorCount = 0;
    std::int32_t preyCount = 0;
    std::array<Agent, kMaxPredators> predators{};
    std::array<Agent, kMaxPrey> prey{};
    std::array<Genome, kMaxPredators> predatorGenomes{};
    std::array<Genome, kMaxPrey> preyGenomes{};
    // Each population's slots, best first; positions below the live count hold the slots
    // in use, each Agent's `rank` its position; the rest the slots not in use, in order.
    std::array<std::int32_t, kMaxPredators> predatorRanks{};
    std::array<std::int32_t, kMaxPrey> preyRanks{};
    // +1 or -1: one Agent to be added or removed at the start of the next tick.
    std::int32_t predatorSizeRequest = 0;
    std::int32_t preySizeRequest = 0;
    float probeSpreadE = 1.0f;
    float probeSpreadM = 1.0f;
    EventCounts events;  // since the evolution began

    // The slots in use as the world step takes them.
    WorldView view() {
        return {predators.data(),       predatorCount,      prey.data(), preyCount,
                predatorGenomes.data(), preyGenomes.data(), settings,    random};
    }
    float* genomeOf(const Agent& agent) {
        return (agent.isPredator ? predatorGenomes.data() : preyGenomes.data())[agent.slot].data();
    }
    const float* genomeOf(const Agent& agent) const {
        return (agent.isPredator ? predatorGenomes.data() : preyGenomes.data())[agent.slot].data();
    }

    // Every field, floats by their bits (so a NaN equals itself and -0 differs from 0).
    bool operator==(const World& other) const;
};

// The first field in which two worlds differ, as "prey[17].vx", or empty when they are equal.
std::string firstDifference(const World& a, const World& b);

}  // namespace kav
