#pragma once
// The numbers of the model that a researcher may vary, each with the value of the standard
// world. What stays fixed is elsewhere: the capacities (40 Predators, 200 Prey), the
// network's 63 weights, the four neighbours sensed of each population and the random source,
// which together make the Genome file and the controller.
#include <cstdint>

#include "sim/arena.h"

namespace kav {

// The longest starvation limit a world may have.
constexpr std::int32_t kMaxStarvationTicks = 1'000'000;

struct ModelSettings {
    Arena arena = kStandardArena;
    float predatorRadius = 0.02f;
    float preyRadius = 0.05f;
    float predatorSenseRange = 2.2f;
    float preySenseRange = 2.0f;
    float predatorPeerWindow = 5.0f;  // a Predator's half-width on other Predators
    // A Predator that has gone more ticks than this without a catch starves.
    std::int32_t predatorStarvationTicks = 50;
    float energyPerTick = 0.01f;      // gained by every Agent at each begin-tick
    float thrustCost = 0.5f;          // energy per squared unit of thrust
    float drag = 0.1f;                // quadratic, per velocity component
    float maxSpeed = 1.0f;            // the limit of each component of the new velocity
    float mutationAmplitude = 0.05f;  // an offspring's gene lies within +-this of its parent's
    float offspringSpread = 0.2f;     // an offspring starts within +-this of its first parent
    // A parent is found by walking down the rank list u * count / divisor places (Prey: one
    // more); a larger divisor keeps reproduction nearer the top.
    float predatorParentWalkDivisor = 5.0f;
    float preyParentWalkDivisor = 10.0f;

    bool operator==(const ModelSettings&) const = default;
};

}  // namespace kav
