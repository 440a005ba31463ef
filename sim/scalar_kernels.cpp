// The kernels on one lane: every rule's template with plain float and double arithmetic,
// the path that runs anywhere and the plainest reading of what every wider unit computes.
#include "sim/candidate_kernel.h"
#include "sim/unit_kernels.h"

namespace kav {
namespace {

struct OneLane {
    using F = float;
    using M = bool;
    using D = double;
    using Ids = std::int32_t;
    static constexpr int kCount = 1;
    static F splat(float v) { return v; }
    static F zero() { return 0.0f; }
    static F load(const float* p) { return *p; }
    static void store(float* p, F v) { *p = v; }
    static F add(F a, F b) { return a + b; }
    static F sub(F a, F b) { return a - b; }
    static F mul(F a, F b) { return a * b; }
    static F div(F a, F b) { return a / b; }
    static F negate(F a) { return -a; }
    static F magnitude(F a) { return __builtin_fabsf(a); }
    static M lt(F a, F b) { return a < b; }
    static M gt(F a, F b) { return a > b; }
    static M ge(F a, F b) { return a >= b; }
    static M le(F a, F b) { return a <= b; }
    static void storeUnaligned(float* p, F v) { *p = v; }
    static int bitsOf(M m) { return int(m); }
    static M both(M a, M b) { return a && b; }
    static M either(M a, M b) { return a || b; }
    static F select(M m, F a, F b) { return m ? a : b; }
    static F zeroUnless(M m, F a) { return m ? a : 0.0f; }
    static M lanesOf(unsigned bits) { return (bits & 1u) != 0; }
    static M notLess(F a, F b) { return !(a < b); }
    static M firstLanes(int left) { return left > 0; }
    static F loadSlab(const float* p, M) { return *p; }
    static int append(std::int32_t* found, int k, int pos, M inside) {
        found[k] = pos;
        return k + int(inside);
    }
    static D widen(F v) { return double(v); }
    static F narrow(D v) { return static_cast<float>(v); }
    static D dAdd(D a, D b) { return a + b; }
    static D dSub(D a, D b) { return a - b; }
    static D dMul(D a, D b) { return a * b; }
    static D dSqrt(D a) { return __builtin_sqrt(a); }
    static D dSplat(double v) { return v; }

    static Ids loadIds(const std::int32_t* ids) { return *ids; }
    static F gather(const float* field, Ids id) { return field[id]; }
    template <int kPer>
    static F spread(const float* byAgent, int e) {
        return byAgent[e / kPer];
    }
    static void storeNeighbourTerms(float* const* inputs, int e, F t0, F t1, F t2, F t3) {
        float* out = inputs[e / kNeighbourLanes] + kTermsPerNeighbour * (e % kNeighbourLanes);
        out[0] = t0;
        out[1] = t1;
        out[2] = t2;
        out[3] = t3;
    }
    static void storeWallTerms(float* const* inputs, int e, F t0, F t1, F t2, F t3, M written) {
        if (!written) return;
        float* out = inputs[e / kWalls] + (e % kWalls < 2 ? kXWallBlock : kYWallBlock);
        out[0] = t0;
        out[1] = t1;
        out[2] = t2;
        out[3] = t3;
    }

    // The network's data movement (sim/network_kernel.h).
    static void transposed4(const float* const* rows, int offset, F* out) {
        for (int c = 0; c < 4; ++c) out[c] = rows[0][offset + c];
    }
    static void storeFirst(float* to, int count, F v) {
        if (count > 0) *to = v;
    }
};

struct OnePair {
    using D = double;
    using M = bool;
    static constexpr int kCount = 1;
    static D load(const float* p) { return double(*p); }
    static D rounded(D v) { return double(static_cast<float>(v)); }
    static void storeRounded(float* p, D v) { *p = static_cast<float>(v); }
    static D splat(double v) { return v; }
    static D add(D a, D b) { return a + b; }
    static D sub(D a, D b) { return a - b; }
    static D mul(D a, D b) { return a * b; }
    static D div(D a, D b) { return a / b; }
    static D sqrt(D a) { return __builtin_sqrt(a); }
    static D negate(D a) { return -a; }
    static M ge(D a, D b) { return a >= b; }
    static M lt(D a, D b) { return a < b; }
    static M le(D a, D b) { return a <= b; }
    static M both(M a, M b) { return a && b; }
    static M either(M a, M b) { return a || b; }
    static void storeFound(std::uint8_t* p, M m) { *p = std::uint8_t(m); }
};

}  // namespace

KAV_UNIT_KERNELS(Scalar, OneLane, OnePair)
KAV_CANDIDATE_KERNEL(Scalar, OneLane)

}  // namespace kav
