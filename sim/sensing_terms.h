#pragma once
// The pieces of sensing that the vector paths' terms share: the layout of the input
// vector's blocks, the Agent's frame and the neighbours found for a block. The files
// compiled for a wider unit include this header, so it includes no standard header that
// could instantiate a function (sim/agent.h brings <cstdint> alone); their exported
// functions take the input vector as its first value.
#include "sim/agent.h"

namespace kav {

constexpr int kNeighboursSensed = 4;  // nearest first, per population
constexpr int kTermsPerNeighbour =
    4;                              // offset forward, offset left, velocity forward, velocity left
constexpr int kPreyBlock = 0;       // the four nearest Prey
constexpr int kPredatorBlock = 16;  // the four nearest Predators
constexpr int kXWallBlock = 32;     // the nearer x wall in range (the right one if both)
constexpr int kYWallBlock = 36;     // the nearer y wall in range (the top one if both)

// Rotates a world vector into the frame of an Agent with the given heading.
struct FrameRotation {
    float cosNeg;  // cos(-heading), single precision
    float sinNeg;  // sin(-heading), single precision
    explicit FrameRotation(float heading);
    float forward(float px, float py) const;
    float left(float px, float py) const;
};

// The neighbours that one search found for one block of the input vector, nearest first.
struct NeighbourBlock {
    const Agent* neighbours[kNeighboursSensed] = {};
    int count = 0;
    int block = 0;        // kPreyBlock or kPredatorBlock
    bool scaled = false;  // offsets divided by the squared distance
};

// writeNeighbourBlocks (sim/sensing.h) on each vector path: four neighbours per
// instruction, one block after the other, or both blocks' eight at once.
void writeNeighbourBlocksSse2(float* inputs, const Agent& self, const NeighbourBlock& first,
                              const NeighbourBlock& second, const FrameRotation& frame);
void writeNeighbourBlocksAvx2(float* inputs, const Agent& self, const NeighbourBlock& first,
                              const NeighbourBlock& second, const FrameRotation& frame);
void writeNeighbourBlocksAvx512(float* inputs, const Agent& self, const NeighbourBlock& first,
                                const NeighbourBlock& second, const FrameRotation& frame);

}  // namespace kav
