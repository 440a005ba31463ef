// The kernels on four lanes, with the SSE2 that every x86-64 processor runs: every rule's
// template on four floats (two doubles per half).
#include <emmintrin.h>

#include "sim/candidate_kernel.h"
#include "sim/unit_kernels.h"
#include "sim/unit_primitives.h"

namespace kav {
namespace {

struct Double2 {
    using F = __m128;
    using V = __m128d;
    KAV_DOUBLE_ARITHMETIC(_mm)
    static V low(F v) { return _mm_cvtps_pd(v); }
    static V high(F v) { return _mm_cvtps_pd(_mm_movehl_ps(v, v)); }
    static F joined(V low, V high) { return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high)); }
};

// Lane k's bit of `bits` as all ones or zeros.
__m128i laneBits(unsigned bits) {
    const __m128i bit = _mm_setr_epi32(1, 2, 4, 8);
    return _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(int(bits)), bit), bit);
}

struct Lanes4 : HalvesOf<Double2> {
    using F = __m128;
    using M = __m128;  // all ones where true
    using Ids = const std::int32_t*;
    static constexpr int kCount = 4;
    KAV_FLOAT_ARITHMETIC(_mm)
    static F magnitude(F a) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), a); }
    static M lt(F a, F b) { return _mm_cmplt_ps(a, b); }
    static M gt(F a, F b) { return _mm_cmpgt_ps(a, b); }
    static M ge(F a, F b) { return _mm_cmpge_ps(a, b); }
    static M le(F a, F b) { return _mm_cmple_ps(a, b); }
    static void storeUnaligned(float* p, F v) { _mm_storeu_ps(p, v); }
    static int bitsOf(M m) { return _mm_movemask_ps(m); }
    static M both(M a, M b) { return _mm_and_ps(a, b); }
    static M either(M a, M b) { return _mm_or_ps(a, b); }
    static F select(M m, F a, F b) { return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b)); }
    static F zeroUnless(M m, F a) { return _mm_and_ps(m, a); }
    static M lanesOf(unsigned bits) { return _mm_castsi128_ps(laneBits(bits)); }
    static M notLess(F a, F b) { return _mm_cmpnlt_ps(a, b); }
    static M firstLanes(int left) {
        return _mm_castsi128_ps(_mm_cmpgt_epi32(_mm_set1_epi32(left), _mm_setr_epi32(0, 1, 2, 3)));
    }
    static F loadSlab(const float* p, M) { return _mm_loadu_ps(p); }
    static int append(std::int32_t* found, int k, int pos, M inside) {
        const int bits = _mm_movemask_ps(inside);
        const __m128i offsets =
            _mm_load_si128(reinterpret_cast<const __m128i*>(kLanesOfFour.lanes[bits]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(found + k),
                         _mm_add_epi32(_mm_set1_epi32(pos), offsets));
        return k + kLanesOfFour.count[bits];
    }

    // The fields are gathered in registers (a vector load of four separate stores would
    // wait for them to reach the cache).
    static Ids loadIds(const std::int32_t* ids) { return ids; }
    static F gather(const float* field, Ids id) {
        return _mm_setr_ps(field[id[0]], field[id[1]], field[id[2]], field[id[3]]);
    }
    template <int kPer>
    static F spread(const float* byAgent, int e) {
        static_assert(kPer % kCount == 0, "the four lanes are one Agent's");
        return _mm_set1_ps(byAgent[e / kPer]);
    }
    static void storeNeighbourTerms(float* const* inputs, int e, F t0, F t1, F t2, F t3) {
        _MM_TRANSPOSE4_PS(t0, t1, t2, t3);
        float* out = inputs[e / kNeighbourLanes] + kTermsPerNeighbour * (e % kNeighbourLanes);
        _mm_storeu_ps(out, t0);
        _mm_storeu_ps(out + 4, t1);
        _mm_storeu_ps(out + 8, t2);
        _mm_storeu_ps(out + 12, t3);
    }
    static void storeWallTerms(float* const* inputs, int e, F t0, F t1, F t2, F t3, M written) {
        const int bits = _mm_movemask_ps(written);
        if (bits == 0) return;
        _MM_TRANSPOSE4_PS(t0, t1, t2, t3);
        float* out = inputs[e / kWalls];
        if (bits & 1) _mm_storeu_ps(out + kXWallBlock, t0);
        if (bits & 2) _mm_storeu_ps(out + kXWallBlock, t1);
        if (bits & 4) _mm_storeu_ps(out + kYWallBlock, t2);
        if (bits & 8) _mm_storeu_ps(out + kYWallBlock, t3);
    }

    // The network's data movement (sim/network_kernel.h).
    static void transposed4(const float* const* rows, int offset, F* out) {
        F r0 = _mm_loadu_ps(rows[0] + offset);
        F r1 = _mm_loadu_ps(rows[1] + offset);
        F r2 = _mm_loadu_ps(rows[2] + offset);
        F r3 = _mm_loadu_ps(rows[3] + offset);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        out[0] = r0;
        out[1] = r1;
        out[2] = r2;
        out[3] = r3;
    }
    static void storeFirst(float* to, int count, F v) {
        alignas(16) float lanes[kCount];
        _mm_store_ps(lanes, v);
        for (int k = 0; k < count && k < kCount; ++k) to[k] = lanes[k];
    }
};

struct Pairs2 : Double2 {
    using D = V;
    using M = __m128d;
    static constexpr int kCount = 2;
    static D load(const float* p) {
        return _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(p))));
    }
    static D rounded(D v) { return _mm_cvtps_pd(_mm_cvtpd_ps(v)); }
    static void storeRounded(float* p, D v) {
        _mm_store_sd(reinterpret_cast<double*>(p), _mm_castps_pd(_mm_cvtpd_ps(v)));
    }
    static M ge(D a, D b) { return _mm_cmpge_pd(a, b); }
    static M lt(D a, D b) { return _mm_cmplt_pd(a, b); }
    static M le(D a, D b) { return _mm_cmple_pd(a, b); }
    static M both(M a, M b) { return _mm_and_pd(a, b); }
    static M either(M a, M b) { return _mm_or_pd(a, b); }
    static void storeFound(std::uint8_t* p, M m) {
        const int bits = _mm_movemask_pd(m);
        p[0] = std::uint8_t(bits & 1);
        p[1] = std::uint8_t(bits >> 1 & 1);
    }
};

}  // namespace

KAV_UNIT_KERNELS(Sse2, Lanes4, Pairs2)
KAV_CANDIDATE_KERNEL(Sse2, Lanes4)

}  // namespace kav
