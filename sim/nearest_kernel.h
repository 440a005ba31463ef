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
        const F distance =
            Lanes::select(inside, Lanes::add(Lanes::mul(dx, dx), Lanes::mul(dy, dy)), far);
        const F slot = Lanes::splatBits(e.slot[j]);
        // The entry goes before the first kept one that is strictly farther (among equal
        // distances the kept ones came first, so they stay ahead). The kept are in
        // ascending order, so from that place on every kept one is farther: each place
        // compares with the entry alone, and the places are filled from the last up, each
        // from the one above it or from the entry. Unrolled, so the five stay in registers.
        M farther[kKept];
#pragma GCC unroll 5
        for (int i = 0; i < kKept; ++i) farther[i] = Lanes::lt(distance, kept[i]);
#pragma GCC unroll 5
        for (int i = kKept - 1; i > 0; --i) {
            kept[i] = Lanes::select(farther[i],
                                    Lanes::select(farther[i - 1], kept[i - 1], distance), kept[i]);
            keptSlot[i] = Lanes::select(
                farther[i], Lanes::select(farther[i - 1], keptSlot[i - 1], slot), keptSlot[i]);
        }
        kept[0] = Lanes::select(farther[0], distance, kept[0]);
        keptSlot[0] = Lanes::select(farther[0], slot, keptSlot[0]);
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

#define KAV_NEAREST_KERNEL(Unit, Lanes)                                               \
    void nearestFive##Unit(const QueryGroup& queries, const SearchedEntries& entries, \
                           GroupNearest& out) {                                       \
        nearestFiveOfGroup<Lanes>(queries, entries, out);                             \
    }
