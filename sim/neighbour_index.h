#pragma once
// The program step's neighbour index, kept from tick to tick: each population's slots in
// ascending x, re-sorted from the last tick's order, and a grid of cells rebuilt from it
// at every tick, in which each Agent searches its nearest neighbours outwards from where
// its last search ended.
#include <array>
#include <cstdint>

#include "sim/agent.h"
#include "sim/cell_grid.h"
#include "sim/sensing.h"
#include "sim/world.h"

namespace kav {

// A population's slots in ascending (x, slot), the order of the reference insertion sort
// from slot order, kept from tick to tick so that re-sorting meets nearly sorted input;
// beside each entry its two coordinates, read by the searches without touching the Agents.
struct KeptIndex {
    std::array<std::int32_t, kMaxPrey> slot{};
    std::array<float, kMaxPrey> key{};    // x of slot[pos]
    std::array<float, kMaxPrey> cross{};  // y of slot[pos]
    std::int32_t count = 0;               // slots 0..count-1 are in the index

    // Brings the index to the slots 0..count-1 of `agents` and to ascending (x, slot)
    // order. The coordinates must compare as a total order.
    void resort(const Agent* agents, int countArg);
};

class NeighbourIndex {
public:
    // Re-sorts both populations' indexes and rebuilds the grids for this tick's positions.
    // Returns false, leaving the index as it was, when a position in use is not a
    // moderate finite number: the searches need positions that compare as a total order.
    bool update(const WorldView& world);

    // Writes the terms of the four nearest Agents of one population within the square
    // window of `halfWidth` around `self` into the block at `block`: the neighbours the
    // reference finds, in its order. `selfSlot` is self's slot when the population
    // searched is self's own, -1 otherwise; `reach` is where this Agent's last search of
    // this population ended (null: search from the whole window).
    void senseNearest(const Agent& self, int selfSlot, const Agent* agents, const CellGrid& grid,
                      float halfWidth, int block, bool scaled, const FrameRotation& frame,
                      float* reach, InputVector& inputs) const;

    KeptIndex predatorsByX;
    KeptIndex preyByX;
    CellGrid predatorGrid;
    CellGrid preyGrid;
    // The distance of each Agent's farthest of five nearest at its last search, per
    // population searched: where the next search starts. It steers only the search, never
    // its result.
    std::array<float, kMaxPredators> predatorReachOnPrey{};
    std::array<float, kMaxPredators> predatorReachOnPredators{};
    std::array<float, kMaxPrey> preyReachOnPrey{};
    std::array<float, kMaxPrey> preyReachOnPredators{};
};

}  // namespace kav
