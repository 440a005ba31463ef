#pragma once
// The five nearest entries of a population's x index inside a square window, by one pass
// over every entry: the squared distances and the window test many entries per
// instruction, then a selection among the few candidates that pass a gate.
//
// Only entries no farther than a gate are selected from. When five or more pass it, the
// five nearest of them are the five nearest of the window; when fewer pass, the caller
// searches again with a gate of infinity. So a gate that guesses the fifth nearest's
// distance well decides how fast the search is, never what it finds.
#include <cstdint>

#include "sim/vector_path.h"

namespace kav {

struct NearestQuery {
    float x = 0;  // the searching Agent
    float y = 0;
    // The window: x in [xLow, xHigh) and y in [yLow, yHigh).
    float xLow = 0;
    float xHigh = 0;
    float yLow = 0;
    float yHigh = 0;
    float gate = 0;  // squared distance; infinity selects from every entry in the window
};

// Up to five entries in the window no farther than the gate, nearest first; equal squared
// distances in x-index order (the order of a stable sort by distance of the entries in
// x-index order).
struct NearestFound {
    int count = 0;
    std::int32_t position[5] = {};  // x-index positions
    float fifth = 0;                // squared distance of the fifth, when there are five
};

// Entries can be read in whole vectors: `xs` and `ys` hold n values and stay readable
// (with any values) up to the next multiple of sixteen. The positions must be finite.
constexpr int kNearestPadding = 15;

NearestFound nearestFiveSse2(const float* xs, const float* ys, int n, const NearestQuery& query);
NearestFound nearestFiveAvx2(const float* xs, const float* ys, int n, const NearestQuery& query);
NearestFound nearestFiveAvx512(const float* xs, const float* ys, int n,
                               const NearestQuery& query);

// The pass of the given path (which this machine must be able to run).
NearestFound nearestFive(VectorPath path, const float* xs, const float* ys, int n,
                         const NearestQuery& query);

}  // namespace kav
