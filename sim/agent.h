#pragma once
#include <cstdint>

#include <array>

#include "sim/arena.h"
#include "sim/model_settings.h"
#include "sim/random.h"

namespace kav {

constexpr int kGenomeSize = 63;
constexpr int kMaxPredators = 40;
constexpr int kMaxPrey = 200;

// An Agent's 63 weights; the world keeps them by slot beside the Agents.
using Genome = std::array<float, kGenomeSize>;

constexpr std::uint8_t kSexualMode = 'i';  // 105
constexpr std::uint8_t kClonalMode = 'k';  // 107

// Single-precision constants of the motion rules.
constexpr float kPiF = 3.1415927f;
constexpr float kHalfPiF = 1.5707964f;
constexpr float kStartHeadingSpan = 3.14f;

// One individual, Predator or Prey. A plain record: the Population keeps the Agents
// in fixed arrays and every phase of the tick updates them in place. The arena is the
// world's, not the Agent's: the phases that need it are handed it.
struct Agent {
    // Kind and place in its population's array.
    std::uint8_t isPredator = 0;
    std::int32_t slot = 0;

    // Motion: the start of this tick's move, its velocity, the velocity that steering
    // chose for the next move, where the move ends and the walls it hit on the way.
    float x = 0;
    float y = 0;
    float vx = 0;
    float vy = 0;
    float nextVx = 0;
    float nextVy = 0;
    float nextX = 0;
    float nextY = 0;
    float heading = 0;
    float radius = 0;
    float senseRange = 0;
    std::uint8_t hitWall = 0;
    std::uint8_t hitTop = 0;
    std::uint8_t hitLeft = 0;
    std::uint8_t hitBottom = 0;
    std::uint8_t hitRight = 0;

    // Life: what decides when the Agent is replaced.
    float energy = 0;
    std::int64_t age = 0;
    std::uint8_t dead = 0;
    std::uint8_t captured = 0;
    std::int32_t digestTimer = 0;
    std::int32_t ticksSinceCatch = 0;
    std::int64_t catches = 0;

    // Evolution: the place in the rank list and the lineage (the Genome is the world's, by
    // slot).
    std::int32_t rank = 0;
    std::int64_t generation = 0;
    std::uint8_t reproMode = 0;

    // Drawing: the heading at the start of the tick and the moment of a capture, between
    // which the window animates the Agent.
    float prevHeading = 0;
    float contactTime = 0;

    // Gives a slot its first occupant: three draws (position x, position y, heading), the
    // radius and sense range of its kind from the settings.
    void init(const ModelSettings& settings, std::uint8_t reproModeArg, int slotArg,
              bool isPredatorArg, Random& random);

    // Opens a tick: commits the end of the previous move, reflects the velocity at the
    // walls that move hit and adds the tick's energy.
    void beginTick(float energyPerTick);

    // This tick's move: adopts the chosen velocity, reflects the end position at the
    // arena's walls and marks the Agent dead when out of energy or far outside the arena.
    void move(const Arena& arena);
};

// Direction of motion of a velocity, in (-pi/2, 3pi/2); keeps `current` at rest.
float headingFromVelocity(float vx, float vy, float current);

}  // namespace kav
