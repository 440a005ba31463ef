#pragma once
// The contact test of many Predator/Prey pairs at once, written once over a lanes type of
// doubles and compiled in one file per vector unit: each lane is one pair and runs
// solveContact's operations (sim/capture.h) in their order. Internal linkage throughout
// (see sim/nearest_kernel.h).
#include "sim/contact_lanes.h"

namespace kav {
namespace {

// `P` provides kCount double lanes D with masks M: load(const float*) (kCount floats
// widened), rounded (to float and back), storeRounded(float*, D), splat, add, sub, mul, div,
// sqrt, negate, ge, lt, le (false where either is not a number), both, either, and
// storeFound(uint8_t*, M) (one byte, 0 or 1, per lane).
template <class P>
void contactsOfLanes(const ContactLanes& c) {
    using D = typename P::D;
    using M = typename P::M;
    const D zero = P::splat(0.0);
    const D one = P::splat(1.0);
    const D two = P::splat(2.0);
    const D four = P::splat(4.0);
    for (int i = 0; i < c.count; i += P::kCount) {
        const D dx = P::sub(P::load(c.x1 + i), P::load(c.x2 + i));
        const D dy = P::sub(P::load(c.y1 + i), P::load(c.y2 + i));
        const D dvx = P::sub(P::load(c.vx1 + i), P::load(c.vx2 + i));
        const D dvy = P::sub(P::load(c.vy1 + i), P::load(c.vy2 + i));
        const D sum = P::load(c.sumOfRadii + i);
        // a, b, c and the discriminant, each rounded to float.
        const D a = P::rounded(P::add(P::mul(dvx, dvx), P::mul(dvy, dvy)));
        const D b = P::rounded(P::mul(two, P::add(P::mul(dx, dvx), P::mul(dy, dvy))));
        const D cc = P::rounded(P::sub(P::add(P::mul(dx, dx), P::mul(dy, dy)), P::mul(sum, sum)));
        const D d = P::rounded(P::sub(P::mul(b, b), P::mul(P::mul(four, a), cc)));
        // Not below zero and a number.
        const M real = P::ge(d, zero);
        const D s = P::sqrt(d);
        const D minusB = P::negate(b);
        const D twoA = P::mul(two, a);
        const D root1 = P::rounded(P::div(P::sub(minusB, s), twoA));
        const D root2 = P::rounded(P::div(P::add(minusB, s), twoA));
        const M touches = P::both(P::ge(root1, zero), P::le(root1, one));
        const M overlaps = P::both(P::lt(root1, zero), P::ge(root2, zero));
        P::storeRounded(c.t1 + i, root1);
        P::storeFound(c.found + i, P::both(real, P::either(touches, overlaps)));
    }
}

}  // namespace
}  // namespace kav
