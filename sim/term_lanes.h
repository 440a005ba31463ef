#pragma once
// The neighbour terms of many Agents at once: each Agent's eight neighbours (its four
// nearest Prey, then its four nearest Predators) in lanes of their own, with the operations
// of writeNeighbourBlocks (sim/sensing.h) in their order, so every value has the same bits.
// The kernels of the wider paths take them (their files see no other type, see
// sim/nearest_kernel.h).
#include <cstdint>

namespace kav {

constexpr int kNeighbourLanes = 8;  // per Agent: four Prey, four Predators

struct TermLanes {
    // Every Agent's fields by id (a Predator's slot, or kMaxPredators plus a Prey's slot).
    const float* x;
    const float* y;
    const float* vx;
    const float* vy;
    const float* radius;
    // The Agents that sense, `count` of them (padded to an even count with a repeat).
    int count;
    const std::int32_t* self;       // id of each
    const std::int32_t* neighbour;  // eight ids each; a missing neighbour is the Agent itself
    const std::uint8_t* written;    // per Agent, bit k: neighbour k exists
    const std::uint8_t* scaled;     // per Agent, bit k: neighbour k's offset is divided by d²
    const float* cosNeg;            // per Agent, its frame
    const float* sinNeg;
    float* const* inputs;  // per Agent, its input vector: the 32 neighbour terms are written
};

void neighbourTermsAvx2(const TermLanes& lanes);
void neighbourTermsAvx512(const TermLanes& lanes);

// The wall terms of many Agents at once: each Agent's four walls in lanes of their own, with
// the operations of senseWallsPacked in their order.
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
    float* const* inputs;          // per Agent, its input vector: the 8 wall terms are written
    float xMin, xMax, yMin, yMax;  // the arena
};

void wallTermsAvx512(const WallLanes& lanes);

}  // namespace kav
