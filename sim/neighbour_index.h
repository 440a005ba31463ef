#pragma once
// The program step's neighbour index, kept from tick to tick: each population's slots in
// ascending x, re-sorted from the last tick's order, and a grid of cells rebuilt from the
// Prey's at every tick, in which each Agent searches its nearest Prey outwards from where
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
    // Three entries of padding let a search read four entries from any position in use.
    static constexpr int kPadded = kMaxPrey + 3;
    std::array<std::int32_t, kPadded> slot{};
    alignas(64) std::array<float, kPadded> key{};    // x of slot[pos]
    alignas(64) std::array<float, kPadded> cross{};  // y of slot[pos]
    std::int32_t count = 0;                          // slots 0..count-1 are in the index

    // The positions grouped by a monotonic bucket of their x, so that the positions with x
    // in a range [low, high] lie in [rangeBegin(low), rangeEnd(high)). About one Prey per
    // bucket: the re-sort moves each entry into its bucket first.
    static constexpr int kBuckets = 256;
    std::array<std::int32_t, kBuckets + 1> bucketBegin{};
    float bucketOrigin = 0;
    float bucketInverse = 0;

    // Brings the index to the slots 0..count-1 and to ascending (x, slot) order, and fills
    // the buckets; `xBySlot` and `yBySlot` are the coordinates of each slot. They must be
    // finite.
    void resort(const float* xBySlot, const float* yBySlot, int countArg);

    int bucketOf(float value) const {
        // Monotonic in the value: a rounding of a scaled offset, clamped to the buckets.
        const float t = (value - bucketOrigin) * bucketInverse;
        const float clamped = t > 0.0f ? (t < float(kBuckets - 1) ? t : float(kBuckets - 1)) : 0.0f;
        return static_cast<int>(clamped);
    }
    int rangeBegin(float low) const { return bucketBegin[bucketOf(low)]; }
    int rangeEnd(float high) const { return bucketBegin[bucketOf(high) + 1]; }
};

class NeighbourIndex {
public:
    // Re-sorts both populations' indexes for this tick's positions. Returns false, leaving
    // the index as it was, when a position in use is not a moderate finite number: the
    // searches need positions that compare as a total order.
    bool update(const WorldView& world);
    // Puts the Prey of the re-sorted index into their cells (senseNearest needs them).
    void buildPreyGrid();

    // Finds the four nearest Agents of one population within the square window of
    // `halfWidth` around `self`: the neighbours the reference finds, in its order. `selfSlot` is
    // self's slot when the population searched is self's own, -1 otherwise; `reach` is where this
    // Agent's last search of this population ended (null: search from the whole window).
    void senseNearest(const Agent& self, int selfSlot, const Agent* agents, const CellGrid& grid,
                      float halfWidth, float* reach, NeighbourBlock& found) const;

    // The same over every entry of a small population's x index, four at a time: for a
    // few dozen Agents one pass costs less than walking the cells.
    void senseNearestOfAll(const Agent& self, int selfSlot, const Agent* agents,
                           const KeptIndex& index, float halfWidth, NeighbourBlock& found) const;

    KeptIndex predatorsByX;
    KeptIndex preyByX;
    // Of the Prey in use, read in the same pass as their positions: the largest speed along
    // each axis and whether all have the same finite radius.
    float largestPreyVx = 0;
    float largestPreyVy = 0;
    bool preyRadiiEqual = false;
    // The Prey in cells, for the search among the Prey; the Predators, a few dozen at
    // most, are searched with one pass over their index.
    CellGrid preyGrid;
    // The distance of each Agent's farthest of five nearest Prey at its last search: where
    // its next search starts. It steers only the search, never its result.
    std::array<float, kMaxPredators> predatorReachOnPrey{};
    std::array<float, kMaxPrey> preyReachOnPrey{};

private:
    // This tick's coordinates of each slot, read from the Agents in one pass.
    struct Positions {
        std::array<float, kMaxPrey> x, y;
    };
    Positions predatorPositions_;
    Positions preyPositions_;
};

}  // namespace kav
