#pragma once
// The batched nearest search, written once over a vector type and compiled in one file per
// vector unit. Everything here has internal linkage: an inline copy built for a wider unit
// must never be the one linked into a narrower path. For the same reason the files that
// include it include no standard header that could instantiate a function.
#include <cstdint>

#include "sim/nearest_search.h"

namespace kav {
namespace {

// `Lanes` provides the vector type F and mask type M with: splat(float), splatBits(int32),
// load(const float*), sub, mul, add, ge, lt (masks), both and either (mask and, or),
// select(m, a, b)
// (a where m, else b), infinity(), and store(float*, F).
template <class Lanes, int kKept>
void nearestOfGroup(const QueryGroup& q, const SearchedEntries& e, GroupNearest& out) {
    using F = typename Lanes::F;
    using M = typename Lanes::M;
    const F selfX = Lanes::load(q.x);
    const F selfY = Lanes::load(q.y);
    const F xLow = Lanes::load(q.xLow);
    const F xHigh = Lanes::load(q.xHigh);
    const F yLow = Lanes::load(q.yLow);
    const F yHigh = Lanes::load(q.yHigh);
    const F far = Lanes::infinity();
    // The five kept per lane: squared distances and slots (as bits), nearest first.
    F kept[kKept];
    F keptSlot[kKept];
#pragma GCC unroll 5
    for (int i = 0; i < kKept; ++i) {
        kept[i] = far;
        keptSlot[i] = Lanes::splatBits(-1);
    }
    for (int j = e.begin; j < e.end; ++j) {
        const F x = Lanes::splat(e.x[j]);
        const F y = Lanes::splat(e.y[j]);
        // dx * dx + dy * dy, as one entry at a time computes it; outside the window the
        // entry is infinitely far and goes nowhere.
        const F dx = Lanes::sub(selfX, x);
        const F dy = Lanes::sub(selfY, y);
        const M inside = Lanes::both(Lanes::both(Lanes::ge(x, xLow), Lanes::lt(x, xHigh)),
                                     Lanes::both(Lanes::ge(y, yLow), Lanes::lt(y, yHigh)));
        F distance = Lanes::select(inside, Lanes::add(Lanes::mul(dx, dx), Lanes::mul(dy, dy)), far);
        F slot = Lanes::splatBits(e.slot[j]);
        // The entry goes before the first kept one that is strictly farther; that one and
        // those after it move down a place (among equal distances they came first, so
        // they stay ahead of the ones they pass). Unrolled, so the five stay in registers.
        M shifting = Lanes::lt(distance, kept[0]);
#pragma GCC unroll 5
        for (int i = 0; i < kKept; ++i) {
            if (i > 0) shifting = Lanes::either(shifting, Lanes::lt(distance, kept[i]));
            const F keptDistance = kept[i];
            const F keptSlotNow = keptSlot[i];
            kept[i] = Lanes::select(shifting, distance, keptDistance);
            keptSlot[i] = Lanes::select(shifting, slot, keptSlotNow);
            distance = Lanes::select(shifting, keptDistance, distance);
            slot = Lanes::select(shifting, keptSlotNow, slot);
        }
    }
    for (int i = 0; i < kKept; ++i)
        Lanes::store(reinterpret_cast<float*>(out.slot[i]), keptSlot[i]);
    for (int i = kKept; i < kNearestKept; ++i)
        Lanes::store(reinterpret_cast<float*>(out.slot[i]), Lanes::splatBits(-1));
}

template <class Lanes>
void nearestFiveOfGroup(const QueryGroup& q, const SearchedEntries& e, GroupNearest& out) {
    if (e.kept == 4) nearestOfGroup<Lanes, 4>(q, e, out);
    else nearestOfGroup<Lanes, 5>(q, e, out);
}

}  // namespace
}  // namespace kav
