#pragma once
// The neighbour and wall terms of many Agents at once, each term in a lane of its own with
// the operations of writeNeighbourTerms and senseWalls (sim/sensing.h) in their order, so
// every value has the same bits. The kernels of every unit take them (the wider units' files
// see no other type, see sim/nearest_kernel.h).
#include <cstdint>

namespace kav {

// Where the input vector's blocks begin: per neighbour and per wall four terms (offset
// forward, offset left, velocity forward, velocity left).
constexpr int kTermsPerNeighbour = 4;
constexpr int kPreyBlock = 0;       // the four nearest Prey
constexpr int kPredatorBlock = 16;  // the four nearest Predators
constexpr int kXWallBlock = 32;     // the nearer x wall in range (the right one if both)
constexpr int kYWallBlock = 36;     // the nearer y wall in range (the top one if both)
// A wall whose distance is not above this is not sensed: its terms, divided by the squared
// distance, would be out of all proportion.
constexpr float kWallSensedBeyond = 0.001f;

constexpr int kNeighbourLanes = 8;  // per Agent: four Prey, four Predators
// The eight neighbours' terms follow one another in the vector.
static_assert(kPredatorBlock == kPreyBlock + kTermsPerNeighbour * kNeighbourLanes / 2);

struct TermLanes {
    // Every Agent's fields by id (a Predator's slot, or kMaxPredators plus a Prey's slot).
    const float* x;
    const float* y;
    const float* vx;
    const float* vy;
    const float* radius;
    // The Agents that sense, `count` of them (padded to a multiple of four with repeats).
    int count;
    const std::int32_t* neighbour;  // eight ids each; a missing neighbour is the Agent itself
    const std::uint8_t* written;    // per Agent, bit k: neighbour k exists
    const std::uint8_t* scaled;     // per Agent, bit k: neighbour k's offset is divided by d²
    // Per Agent: its own fields and its frame.
    const float* ownX;
    const float* ownY;
    const float* ownVx;
    const float* ownVy;
    const float* ownRadius;
    const float* cosNeg;
    const float* sinNeg;
    float* const* inputs;  // per Agent, its input vector: the 32 neighbour terms are written
};

void neighbourTermsScalar(const TermLanes& lanes);
void neighbourTermsSse2(const TermLanes& lanes);
void neighbourTermsAvx2(const TermLanes& lanes);
void neighbourTermsAvx512(const TermLanes& lanes);

// The wall terms of many Agents at once: each Agent's four walls (left, right, bottom, top)
// in lanes of their own.
struct WallLanes {
    int count;  // the Agents that sense (padded to a multiple of four)
    // Per Agent: its own fields and its frame.
    const float* x;
    const float* y;
    const float* vx;
    const float* vy;
    const float* senseRange;
    const float* cosNeg;
    const float* sinNeg;
    float* const* inputs;          // per Agent, its input vector: the wall terms in range
    float xMin, xMax, yMin, yMax;  // the arena
};

void wallTermsScalar(const WallLanes& lanes);
void wallTermsSse2(const WallLanes& lanes);
void wallTermsAvx2(const WallLanes& lanes);
void wallTermsAvx512(const WallLanes& lanes);

}  // namespace kav
