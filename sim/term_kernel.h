#pragma once
// The neighbour terms and the wall terms of many Agents at once, written once over a lanes
// type (sim/rotation_kernel.h) and compiled in one file per vector unit. Each lane is one
// entry: entry 8a + k is neighbour k of Agent a, entry 4a + w wall w of Agent a. Internal
// linkage throughout (see sim/nearest_kernel.h).
//
// Besides the arithmetic, `L` provides the entries' data movement: Ids, loadIds(ids) and
// gather(field, Ids); spread<kPer>(byAgent, e) (lane i: byAgent[(e + i) / kPer]);
// storeNeighbourTerms(inputs, e, t0, t1, t2, t3) (lane i's four terms at
// inputs[(e + i) / 8] + 4 * ((e + i) % 8)); and storeWallTerms(inputs, e, t0, t1, t2, t3,
// written) (lane i's four terms, where written, at its wall's block of
// inputs[(e + i) / 4], lane after lane, so that a later wall of an axis wins).
#include "sim/rotation_kernel.h"
#include "sim/term_lanes.h"

namespace kav {
namespace {

// Lane i: bit (e + i) % kPer of perAgent[(e + i) / kPer] (kCount a multiple of kPer, or kPer
// a multiple of kCount).
template <class L, int kPer>
[[gnu::always_inline]] inline typename L::M bitsOfEntries(const std::uint8_t* perAgent, int e) {
    if constexpr (L::kCount <= kPer) {
        return L::lanesOf((unsigned(perAgent[e / kPer]) >> (e % kPer)) & ((1u << L::kCount) - 1));
    } else {
        unsigned bits = 0;
#pragma GCC unroll 4
        for (int a = 0; a < L::kCount / kPer; ++a)
            bits |= (unsigned(perAgent[e / kPer + a]) & ((1u << kPer) - 1)) << (kPer * a);
        return L::lanesOf(bits);
    }
}

template <class L>
void neighbourTermsOfLanes(const TermLanes& t) {
    using F = typename L::F;
    using M = typename L::M;
    const int entries = t.count * kNeighbourLanes;
    for (int e = 0; e < entries; e += L::kCount) {
        const typename L::Ids ids = L::loadIds(t.neighbour + e);
        auto own = [&](const float* byAgent) {
            return L::template spread<kNeighbourLanes>(byAgent, e);
        };
        const F cosNeg = own(t.cosNeg);
        const F sinNeg = own(t.sinNeg);
        const F dx = L::sub(L::gather(t.x, ids), own(t.ownX));
        const F dy = L::sub(L::gather(t.y, ids), own(t.ownY));
        const F f = forwardOf<L>(cosNeg, sinNeg, dx, dy);
        const F l = leftOf<L>(cosNeg, sinNeg, dx, dy);
        const F d = lengthOf<L>(f, l);
        // A neighbour that overlaps the Agent leaves its terms at zero.
        const M apart = L::gt(d, L::add(own(t.ownRadius), L::gather(t.radius, ids)));
        const F dvx = L::sub(L::gather(t.vx, ids), own(t.ownVx));
        const F dvy = L::sub(L::gather(t.vy, ids), own(t.ownVy));
        const M scaled = bitsOfEntries<L, kNeighbourLanes>(t.scaled, e);
        const M written = L::both(bitsOfEntries<L, kNeighbourLanes>(t.written, e), apart);
        const F t0 = L::select(scaled, L::div(L::div(f, d), d), f);
        const F t1 = L::select(scaled, L::div(L::div(l, d), d), l);
        const F t2 = L::div(forwardOf<L>(cosNeg, sinNeg, dvx, dvy), d);
        const F t3 = L::div(leftOf<L>(cosNeg, sinNeg, dvx, dvy), d);
        // Terms not written are zero, as in a cleared input vector.
        L::storeNeighbourTerms(t.inputs, e, L::zeroUnless(written, t0), L::zeroUnless(written, t1),
                               L::zeroUnless(written, t2), L::zeroUnless(written, t3));
    }
}

constexpr int kWalls = 4;  // left, right, bottom, top

// The lanes of wall `wall` among the entries from e.
template <class L>
[[gnu::always_inline]] inline typename L::M lanesOfWall(int wall, int e) {
    const int phase = L::kCount % kWalls == 0 ? 0 : e % kWalls;
    unsigned bits = 0;
    for (int i = 0; i < L::kCount; ++i) bits |= unsigned((phase + i) % kWalls == wall) << i;
    return L::lanesOf(bits);
}

template <class L>
void wallTermsOfLanes(const WallLanes& w) {
    using F = typename L::F;
    using M = typename L::M;
    const F zero = L::splat(0.0f);
    const F xMin = L::splat(w.xMin);
    const F xMax = L::splat(w.xMax);
    const F yMin = L::splat(w.yMin);
    const F yMax = L::splat(w.yMax);
    const F floor = L::splat(kWallSensedBeyond);
    const int entries = w.count * kWalls;
    for (int e = 0; e < entries; e += L::kCount) {
        const M left = lanesOfWall<L>(0, e);
        const M right = lanesOfWall<L>(1, e);
        const M bottom = lanesOfWall<L>(2, e);
        const M top = lanesOfWall<L>(3, e);
        auto own = [&](const float* byAgent) { return L::template spread<kWalls>(byAgent, e); };
        const F x = own(w.x);
        const F y = own(w.y);
        const F vx = own(w.vx);
        const F vy = own(w.vy);
        const F range = own(w.senseRange);
        const F cosNeg = own(w.cosNeg);
        const F sinNeg = own(w.sinNeg);
        const M inRange = L::either(L::either(L::both(left, L::gt(xMin, L::sub(x, range))),
                                              L::both(right, L::lt(xMax, L::add(x, range)))),
                                    L::either(L::both(bottom, L::gt(yMin, L::sub(y, range))),
                                              L::both(top, L::lt(yMax, L::add(y, range)))));
        // The offset to each wall and its velocity term before rotation.
        const F px = L::select(left, L::sub(xMin, x), L::select(right, L::sub(xMax, x), zero));
        const F py = L::select(bottom, L::sub(yMin, y), L::select(top, L::sub(yMax, y), zero));
        const F wvx = L::select(left, vx, L::select(right, L::negate(vx), zero));
        const F wvy = L::select(bottom, vy, L::select(top, L::negate(vy), zero));
        const F f = forwardOf<L>(cosNeg, sinNeg, px, py);
        const F l = leftOf<L>(cosNeg, sinNeg, px, py);
        const F d = lengthOf<L>(f, l);
        const M written = L::both(inRange, L::gt(d, floor));
        const F vf = forwardOf<L>(cosNeg, sinNeg, wvx, wvy);
        const F vl = leftOf<L>(cosNeg, sinNeg, wvx, wvy);
        // The left wall's velocity term is not divided by the distance.
        L::storeWallTerms(w.inputs, e, L::div(L::div(f, d), d), L::div(L::div(l, d), d),
                          L::select(left, vf, L::div(vf, d)), L::select(left, vl, L::div(vl, d)),
                          written);
    }
}

}  // namespace
}  // namespace kav
