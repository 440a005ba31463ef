#pragma once
// Frozen evaluation worlds: a Predator population against a Prey population with evolution
// switched off, to score one against the other. A caught, starved or dead Agent comes back
// in its own slot with the same Genome at a fresh start position, as a new Agent starts;
// nothing is mutated, ranked or reproduced.
#include <cmath>
#include <cstdint>

#include "evo/world.h"
#include "sim/stepper.h"

namespace kav {

// What happened in an evaluation world, summed over its ticks (and over worlds: add them).
struct EvaluationScore {
    std::int64_t ticks = 0;
    std::int64_t captures = 0;
    std::int64_t starvations = 0;
    std::int64_t predatorDeaths = 0;   // out of energy or far outside the arena
    std::int64_t preyDeaths = 0;       // likewise, captures not counted
    std::int64_t preyEnds = 0;         // Prey caught or dead
    std::int64_t preyLifetimeSum = 0;  // their ages at the end, in ticks

    double capturesPer1000() const { return ticks ? 1000.0 * double(captures) / double(ticks) : 0; }
    double starvationsPer1000() const {
        return ticks ? 1000.0 * double(starvations) / double(ticks) : 0;
    }
    // NaN when no Prey ended.
    double meanPreyLifetime() const {
        return preyEnds ? double(preyLifetimeSum) / double(preyEnds) : std::nan("");
    }
    EvaluationScore& operator+=(const EvaluationScore& other);
};

// Each evaluation world's random start, from the tournament's base seed, the ticks of the
// two snapshots and the world's index: every cell can be computed alone.
std::uint32_t evaluationSeed(std::uint32_t baseSeed, std::int64_t predatorSnapshot,
                             std::int64_t preySnapshot, int worldIndex);

// One population's Genomes and live count, as a snapshot holds them.
struct Contestant {
    const Genome* genomes;
    int count;  // 1..40 Predators or 1..200 Prey
};

// Builds the world: the random source at `seed`, 240 fresh slots (720 draws), the Genomes of
// both contestants in their slots, tick 0.
void setUpFrozenWorld(World& world, const ModelSettings& settings, const Contestant& predators,
                      const Contestant& prey, std::uint32_t seed);

// One tick without evolution, its events added to `score`.
void runFrozenTick(World& world, Stepper& step, EvaluationScore& score);

// A whole evaluation world: set up from `seed`, `ticks` ticks on `step`, its score.
EvaluationScore evaluateWorld(const ModelSettings& settings, const Contestant& predators,
                              const Contestant& prey, std::uint32_t seed, std::int64_t ticks,
                              Stepper& step);

}  // namespace kav
