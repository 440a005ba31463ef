#pragma once
// What an Agent sees: the 40-value input vector, the Agent's frame, and the terms that
// both world steps write into the vector for a neighbour and for the walls.
#include <array>

#include "sim/agent.h"
#include "sim/arena.h"
#include "sim/sensing_terms.h"
#include "sim/vector_path.h"

namespace kav {

// The input vector: ten groups of four values (forward and left components of an
// offset term, then of a velocity term), in four blocks.
constexpr int kInputCount = 40;
using InputVector = std::array<float, kInputCount>;

constexpr float kPredatorPeerWindow = 5.0f;  // a Predator's half-width on other Predators

// The four terms of one neighbour at `at` (its first value): the offset, raw or scaled by
// 1/d², and the relative velocity divided by d, in the frame of `self`. A neighbour that
// overlaps `self` (d not above the sum of the radii) leaves its terms at zero.
void writeNeighbourTerms(InputVector& inputs, int at, const Agent& self, const Agent& other,
                         const FrameRotation& frame, bool scaled);

// The terms of both neighbour blocks of `self` on the given vector path (which this
// machine must run), many neighbours per packed vector: each neighbour's values in their
// own lanes with the operations of writeNeighbourTerms in its order, so every number has
// the same bits on every path (a value that is not a number stays one; see
// evaluateNetworkPacked). The four-lane path computes one block per vector, and the two
// blocks' long chains of divisions and square roots overlap; the wider paths compute both
// blocks' eight neighbours at once. The program's step uses it.
void writeNeighbourBlocks(VectorPath path, InputVector& inputs, const Agent& self,
                          const NeighbourBlock& first, const NeighbourBlock& second,
                          const FrameRotation& frame);

// The wall blocks: each wall closer than the sense range, in the order left, right,
// bottom, top, so that a later wall of the same axis overwrites an earlier one.
void senseWalls(InputVector& inputs, const Agent& self, const Arena& arena,
                const FrameRotation& frame);

// senseWalls with the four walls in four lanes, written in the same order.
void senseWallsPacked(InputVector& inputs, const Agent& self, const Arena& arena,
                      const FrameRotation& frame);

}  // namespace kav
