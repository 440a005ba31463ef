#pragma once
// The narrower paths' candidate test (sim/candidate_lanes.h), written once over a lanes
// type. Besides the float lanes' arithmetic and masks, `L` provides ge, le, loadSlab,
// firstLanes (sim/window_kernel.h), storeUnaligned(p, v) and bitsOf(m) (lane i as bit i).
// Internal linkage throughout (see sim/nearest_kernel.h).
#include "sim/candidate_lanes.h"

namespace kav {
namespace {

template <class L>
int candidatesOfLanes(const CandidateWindow& w, const float* x4, const float* y4, int left,
                      float gate, float* distances) {
    using F = typename L::F;
    using M = typename L::M;
    int offered = 0;
    for (int i = 0; i < kCandidatesAtOnce; i += L::kCount) {
        const M inRow = L::firstLanes(left - i);
        const F x = L::loadSlab(x4 + i, inRow);
        const F y = L::loadSlab(y4 + i, inRow);
        const F dx = L::sub(L::splat(w.selfX), x);
        const F dy = L::sub(L::splat(w.selfY), y);
        const F distance = L::add(L::mul(dx, dx), L::mul(dy, dy));
        const M inside = L::both(L::both(L::ge(x, L::splat(w.xLow)), L::lt(x, L::splat(w.xHigh))),
                                 L::both(L::ge(y, L::splat(w.yLow)), L::lt(y, L::splat(w.yHigh))));
        const M wanted = L::both(inRow, L::both(inside, L::le(distance, L::splat(gate))));
        L::storeUnaligned(distances + i, distance);
        offered |= L::bitsOf(wanted) << i;
    }
    return offered;
}

}  // namespace
}  // namespace kav

#define KAV_CANDIDATE_KERNEL(Unit, Lanes)                                                 \
    int candidates##Unit(const CandidateWindow& window, const float* x4, const float* y4, \
                         int left, float gate, float* distances) {                        \
        return candidatesOfLanes<Lanes>(window, x4, y4, left, gate, distances);           \
    }
