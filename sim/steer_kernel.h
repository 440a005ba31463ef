#pragma once
// Steering of many Agents at once, written once over a lanes type (sim/rotation_kernel.h)
// and compiled in one file per vector unit: each lane is one Agent and runs `steer`'s
// operations (sim/controller.h) in their order, with the model's numbers from the lanes.
#include "sim/rotation_kernel.h"
#include "sim/steer_lanes.h"

namespace kav {
namespace {

// Quadratic drag on one velocity component, then the per-tick limit: the drag
// double(v) * v * drag rounded to float, v - sign(v) * drag, and past the limit
// sign(result) * limit.
template <class L>
[[gnu::always_inline]] inline typename L::F draggedAndLimited(typename L::F v, double drag,
                                                              typename L::F limit) {
    const typename L::D wide = L::widen(v);
    const typename L::F dragged = L::narrow(L::dMul(L::dMul(wide, wide), L::dSplat(drag)));
    const typename L::F result = L::sub(v, L::mul(signOf<L>(v), dragged));
    return L::select(L::gt(L::magnitude(result), limit), L::mul(signOf<L>(result), limit), result);
}

template <class L>
void steerOfLanes(const SteerLanes& b) {
    using F = typename L::F;
    const F thrustCost = L::splat(b.thrustCost);
    const double drag = double(b.drag);
    const F limit = L::splat(b.maxSpeed);
    for (int i = 0; i < b.count; i += L::kCount) {
        const F forward = L::load(b.forward + i);
        const F lateral = L::load(b.lateral + i);
        const F cosH = L::load(b.cosH + i);
        const F sinH = L::load(b.sinH + i);
        const F cost =
            L::mul(thrustCost, L::add(L::mul(lateral, lateral), L::mul(forward, forward)));
        L::store(b.energy + i, L::sub(L::load(b.energy + i), cost));
        const F thrustX = forwardOf<L>(cosH, sinH, forward, lateral);
        const F thrustY = leftOf<L>(cosH, sinH, forward, lateral);
        L::store(b.nextVx + i,
                 draggedAndLimited<L>(L::add(L::load(b.vx + i), thrustX), drag, limit));
        L::store(b.nextVy + i,
                 draggedAndLimited<L>(L::add(L::load(b.vy + i), thrustY), drag, limit));
    }
}

}  // namespace
}  // namespace kav
