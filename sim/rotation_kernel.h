#pragma once
// The arithmetic that the kernels of sensing and steering share, written once over a lanes
// type and compiled in one file per vector unit (see sim/nearest_kernel.h for why everything
// here has internal linkage and why those files include no standard header).
//
// A lanes type `L` of kCount floats provides:
// - float lanes F: splat, load and store (aligned), add, sub, mul, div, negate (the sign
//   flipped), magnitude (the sign cleared);
// - masks M: lt and gt (false where either is not a number), both, either, select(m, a, b)
//   (a where m, else b), zeroUnless(m, a) and lanesOf(bits) (lane i where bit i is set);
// - the same lanes as doubles D: widen, narrow (rounded to float), and dAdd, dSub, dMul,
//   dSqrt, dSplat. HalvesOf builds them for a unit whose double vector holds half its floats.
namespace kav {
namespace {

// The double lanes of a unit from its half-width double vector `H`, which provides V, add,
// sub, mul, sqrt, splat, low(F) and high(F) (a half widened) and joined(V, V) (both rounded).
template <class H>
struct HalvesOf {
    struct D {
        typename H::V low, high;
    };
    static D widen(typename H::F v) { return {H::low(v), H::high(v)}; }
    static typename H::F narrow(D v) { return H::joined(v.low, v.high); }
    static D dAdd(D a, D b) { return {H::add(a.low, b.low), H::add(a.high, b.high)}; }
    static D dSub(D a, D b) { return {H::sub(a.low, b.low), H::sub(a.high, b.high)}; }
    static D dMul(D a, D b) { return {H::mul(a.low, b.low), H::mul(a.high, b.high)}; }
    static D dSqrt(D a) { return {H::sqrt(a.low), H::sqrt(a.high)}; }
    static D dSplat(double v) { return {H::splat(v), H::splat(v)}; }
};

// FrameRotation::forward and ::left of vectors (x, y) by the rotation (c, s):
// double(c) * x - double(s) * y and double(s) * x + double(c) * y, rounded to float.
template <class L>
[[gnu::always_inline]] inline typename L::F forwardOf(typename L::F c, typename L::F s,
                                                      typename L::F x, typename L::F y) {
    return L::narrow(L::dSub(L::dMul(L::widen(c), L::widen(x)), L::dMul(L::widen(s), L::widen(y))));
}
template <class L>
[[gnu::always_inline]] inline typename L::F leftOf(typename L::F c, typename L::F s,
                                                   typename L::F x, typename L::F y) {
    return L::narrow(L::dAdd(L::dMul(L::widen(s), L::widen(x)), L::dMul(L::widen(c), L::widen(y))));
}

// The length sqrt(double(f)² + double(l)²), rounded to float.
template <class L>
[[gnu::always_inline]] inline typename L::F lengthOf(typename L::F f, typename L::F l) {
    const typename L::D wf = L::widen(f);
    const typename L::D wl = L::widen(l);
    return L::narrow(L::dSqrt(L::dAdd(L::dMul(wf, wf), L::dMul(wl, wl))));
}

// -1 where v < 0, +1 elsewhere (also where v is not a number), as `sign` in
// sim/controller.h.
template <class L>
[[gnu::always_inline]] inline typename L::F signOf(typename L::F v) {
    return L::select(L::lt(v, L::splat(0.0f)), L::splat(-1.0f), L::splat(1.0f));
}

}  // namespace
}  // namespace kav
