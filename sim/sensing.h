#pragma once
// What an Agent sees: the 40-value input vector, the Agent's frame, and the terms that
// both world steps write into the vector for a neighbour and for the walls.
#include <array>
#include <cmath>

#include "sim/agent.h"
#include "sim/arena.h"
#include "sim/term_lanes.h"

namespace kav {

// The input vector: ten groups of four values (forward and left components of an
// offset term, then of a velocity term), in four blocks.
constexpr int kInputCount = 40;
using InputVector = std::array<float, kInputCount>;

constexpr int kNeighboursSensed = 4;  // nearest first, per population
static_assert(kNeighbourLanes == 2 * kNeighboursSensed);
static_assert(kYWallBlock + kTermsPerNeighbour == kInputCount);

// Rotates a world vector into the frame of an Agent with the given heading.
struct FrameRotation {
    float cosNeg = 1;           // cos(-heading), single precision
    float sinNeg = 0;           // sin(-heading), single precision
    FrameRotation() = default;  // heading 0
    explicit FrameRotation(float heading)
        : cosNeg(static_cast<float>(std::cos(double(-heading)))),
          sinNeg(static_cast<float>(std::sin(double(-heading)))) {}
    float forward(float px, float py) const;
    float left(float px, float py) const;
};

// The four terms of one neighbour at `at` (its first value): the offset, raw or scaled by
// 1/d², and the relative velocity divided by d, in the frame of `self`. A neighbour that
// overlaps `self` (d not above the sum of the radii) leaves its terms at zero.
void writeNeighbourTerms(InputVector& inputs, int at, const Agent& self, const Agent& other,
                         const FrameRotation& frame, bool scaled);

// The neighbours that one search found for one block of the input vector, nearest first.
struct NeighbourBlock {
    const Agent* neighbours[kNeighboursSensed] = {};
    int count = 0;
    int block = 0;        // kPreyBlock or kPredatorBlock
    bool scaled = false;  // offsets divided by the squared distance
};

// The wall blocks: each wall closer than the sense range, in the order left, right,
// bottom, top, so that a later wall of the same axis overwrites an earlier one.
void senseWalls(InputVector& inputs, const Agent& self, const Arena& arena,
                const FrameRotation& frame);

}  // namespace kav
