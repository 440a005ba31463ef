#pragma once
// The capture phase's swept windows over the Prey's x index, written once over a lanes type
// and compiled in one file per vector unit: kCount positions of a window's slab per step,
// the bounds compared as the reference's scans compare them. Internal linkage throughout
// (see sim/nearest_kernel.h).
//
// Besides splat, lt, both, `W` provides notLess(a, b) (!(a < b): true also where b is not a
// number), firstLanes(left) (the first `left` lanes, all of them from kCount on),
// loadSlab(p, lanes) (the values of at least `lanes`; a unit may read the others from the
// index's padding) and append(found, k, pos, lanes) (the positions pos + i of the lanes
// written at found[k] on, in ascending order, returning k plus their number; up to kCount
// positions may be written).
#include "sim/window_lanes.h"

namespace kav {
namespace {

// For each set of four lanes (as bits), the lanes in it in ascending order, the rest of the
// row padding: how a unit without a compressing store packs its positions.
struct LanesOfFour {
    alignas(16) std::int32_t lanes[16][4];
    std::int32_t count[16];
};
constexpr LanesOfFour lanesOfFour() {
    LanesOfFour packed{};
    for (int bits = 0; bits < 16; ++bits) {
        int n = 0;
        for (int lane = 0; lane < 4; ++lane)
            if (bits >> lane & 1) packed.lanes[bits][n++] = lane;
        packed.count[bits] = n;
    }
    return packed;
}
constexpr LanesOfFour kLanesOfFour = lanesOfFour();

template <class W>
void windowEntriesOfLanes(const WindowLanes& w) {
    using F = typename W::F;
    using M = typename W::M;
    int k = 0;
    for (int window = 0; window < w.windows; ++window) {
        const F lowX = W::splat(w.lowX[window]);
        const F highX = W::splat(w.highX[window]);
        const F lowY = W::splat(w.lowY[window]);
        const F highY = W::splat(w.highY[window]);
        const int end = w.end[window];
        for (int pos = w.begin[window]; pos < end; pos += W::kCount) {
            // Lanes past the slab are not kept.
            const M inSlab = W::firstLanes(end - pos);
            const F x = W::loadSlab(w.x + pos, inSlab);
            const F y = W::loadSlab(w.y + pos, inSlab);
            const M inX = W::both(W::notLess(x, lowX), W::lt(x, highX));
            const M inY = W::both(W::notLess(y, lowY), W::lt(y, highY));
            k = W::append(w.found, k, pos, W::both(inSlab, W::both(inX, inY)));
        }
        w.foundEnd[window] = k;
    }
}

}  // namespace
}  // namespace kav
