#pragma once
// The nearest Agents (five or four) of one population inside each searching Agent's window,
// for many searching Agents at once: one Agent per vector lane, the searched population's
// entries taken one by one in x-index order and offered to every lane. Each lane keeps its
// five (or four) nearest in registers, sorted by squared distance; an entry goes before the kept
// ones that are strictly farther, so that equal distances stay in x-index order (the order of a
// stable sort by distance of the window's entries in x-index order). Without branches, so
// the time does not depend on where the Agents stand.
#include <cstdint>

#include "sim/vector_path.h"

namespace kav {

constexpr int kMaxLanes = 16;
constexpr int kNearestKept = 5;

// Up to sixteen searching Agents, one per lane, and their windows: x in [xLow, xHigh) and
// y in [yLow, yHigh). Lanes past the group's size repeat an Agent; their results are not read.
struct QueryGroup {
    alignas(64) float x[kMaxLanes];
    alignas(64) float y[kMaxLanes];
    alignas(64) float xLow[kMaxLanes];
    alignas(64) float xHigh[kMaxLanes];
    alignas(64) float yLow[kMaxLanes];
    alignas(64) float yHigh[kMaxLanes];
};

// Per lane, the slots of the nearest, nearest first; -1 where the window holds fewer.
struct GroupNearest {
    alignas(64) std::int32_t slot[kNearestKept][kMaxLanes];
};

// The entries [begin, end) of a population's x index, given as x, y and slot by position.
// Positions must be finite (squared distances of moderate coordinates, never infinite).
struct SearchedEntries {
    const float* x;
    const float* y;
    const std::int32_t* slot;
    int begin;
    int end;
    // How many nearest to keep: five when the searching Agents are among the entries (each
    // may come first, and is then skipped), else four; the rest of `slot` is -1.
    int kept;
};

// Lanes of each path: 1 for scalar, 4 for sse2, 8 for avx2, 16 for avx512. Paths of fewer
// than WorldStep::kGroupSearchLanes search otherwise.
int lanesOf(VectorPath path);

void nearestFiveAvx2(const QueryGroup& queries, const SearchedEntries& entries, GroupNearest& out);
void nearestFiveAvx512(const QueryGroup& queries, const SearchedEntries& entries,
                       GroupNearest& out);

// The search of the given path (avx2 or avx512, which this machine must run).
void nearestFive(VectorPath path, const QueryGroup& queries, const SearchedEntries& entries,
                 GroupNearest& out);

}  // namespace kav
