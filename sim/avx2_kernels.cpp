// The wider paths' kernels on eight lanes: the batched nearest search, sensing, the
// controller network, steering and the contact test.
// Compiled with AVX2 enabled; called only on machines that run it.
#include <immintrin.h>

#include "sim/contact_lanes.h"
#include "sim/nearest_kernel.h"
#include "sim/network_kernel.h"
#include "sim/steer_lanes.h"
#include "sim/term_lanes.h"

namespace kav {
namespace {

struct Lanes8 {
    using F = __m256;
    using M = __m256;  // all ones where true
    static F splat(float v) { return _mm256_set1_ps(v); }
    static F splatBits(std::int32_t v) { return _mm256_castsi256_ps(_mm256_set1_epi32(v)); }
    static F load(const float* p) { return _mm256_load_ps(p); }
    static void store(float* p, F v) { _mm256_store_ps(p, v); }
    static F infinity() { return _mm256_set1_ps(__builtin_inff()); }
    static F sub(F a, F b) { return _mm256_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
    static F add(F a, F b) { return _mm256_add_ps(a, b); }
    static M ge(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
    static M lt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static M both(M a, M b) { return _mm256_and_ps(a, b); }
    static M either(M a, M b) { return _mm256_or_ps(a, b); }
    static F select(M m, F a, F b) { return _mm256_blendv_ps(b, a, m); }
};

}  // namespace

void nearestFiveAvx2(const QueryGroup& queries, const SearchedEntries& entries, GroupNearest& out) {
    nearestFiveOfGroup<Lanes8>(queries, entries, out);
}

namespace {

[[gnu::always_inline]] inline __m256 narrow(__m256d low, __m256d high) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(low)), _mm256_cvtpd_ps(high),
                                1);
}
[[gnu::always_inline]] inline __m256d widenLow(__m256 v) {
    return _mm256_cvtps_pd(_mm256_castps256_ps128(v));
}
[[gnu::always_inline]] inline __m256d widenHigh(__m256 v) {
    return _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1));
}

// FrameRotation::forward (c = cos, s = sin) or ::left (c = sin, s = cos) of eight vectors:
// double(c) * x - double(s) * y, or double(c) * x + double(s) * y, rounded to float.
[[gnu::always_inline]] inline __m256 turned(__m256 c, __m256 s, __m256 x, __m256 y, bool add) {
    const __m256d firstLow = _mm256_mul_pd(widenLow(c), widenLow(x));
    const __m256d firstHigh = _mm256_mul_pd(widenHigh(c), widenHigh(x));
    const __m256d secondLow = _mm256_mul_pd(widenLow(s), widenLow(y));
    const __m256d secondHigh = _mm256_mul_pd(widenHigh(s), widenHigh(y));
    return add ? narrow(_mm256_add_pd(firstLow, secondLow), _mm256_add_pd(firstHigh, secondHigh))
               : narrow(_mm256_sub_pd(firstLow, secondLow), _mm256_sub_pd(firstHigh, secondHigh));
}

[[gnu::always_inline]] inline __m256 lengthOf(__m256 f, __m256 l) {
    auto half = [](__m256d ff, __m256d ll) {
        return _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(ff, ff), _mm256_mul_pd(ll, ll)));
    };
    return narrow(half(widenLow(f), widenLow(l)), half(widenHigh(f), widenHigh(l)));
}

// Quadratic drag and the per-tick limit, as `steer` applies them to one component.
[[gnu::always_inline]] inline __m256 dragAndLimit(__m256 component, float dragFactor,
                                                  float maxSpeed) {
    const __m256d drag = _mm256_set1_pd(double(dragFactor));
    const __m256d low = widenLow(component);
    const __m256d high = widenHigh(component);
    const __m256 dragged = narrow(_mm256_mul_pd(_mm256_mul_pd(low, low), drag),
                                  _mm256_mul_pd(_mm256_mul_pd(high, high), drag));
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 minusOne = _mm256_set1_ps(-1.0f);
    auto sign = [&](__m256 v) {
        return _mm256_blendv_ps(one, minusOne, _mm256_cmp_ps(v, _mm256_setzero_ps(), _CMP_LT_OQ));
    };
    const __m256 result = _mm256_sub_ps(component, _mm256_mul_ps(sign(component), dragged));
    const __m256 magnitude = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), result);
    const __m256 limit = _mm256_set1_ps(maxSpeed);
    const __m256 beyond = _mm256_cmp_ps(magnitude, limit, _CMP_GT_OQ);
    return _mm256_blendv_ps(result, _mm256_mul_ps(sign(result), limit), beyond);
}

}  // namespace

void steerLanesAvx2(const SteerLanes& b) {
    for (int i = 0; i < b.count; i += 8) {
        const __m256 forward = _mm256_load_ps(b.forward + i);
        const __m256 lateral = _mm256_load_ps(b.lateral + i);
        const __m256 cosH = _mm256_load_ps(b.cosH + i);
        const __m256 sinH = _mm256_load_ps(b.sinH + i);
        const __m256 cost = _mm256_mul_ps(
            _mm256_set1_ps(b.thrustCost),
            _mm256_add_ps(_mm256_mul_ps(lateral, lateral), _mm256_mul_ps(forward, forward)));
        _mm256_store_ps(b.energy + i, _mm256_sub_ps(_mm256_load_ps(b.energy + i), cost));
        const __m256 thrustX = turned(cosH, sinH, forward, lateral, false);
        const __m256 thrustY = turned(sinH, cosH, forward, lateral, true);
        _mm256_store_ps(b.nextVx + i, dragAndLimit(_mm256_add_ps(_mm256_load_ps(b.vx + i), thrustX),
                                                   b.drag, b.maxSpeed));
        _mm256_store_ps(b.nextVy + i, dragAndLimit(_mm256_add_ps(_mm256_load_ps(b.vy + i), thrustY),
                                                   b.drag, b.maxSpeed));
    }
}

void solveContactsAvx2(const ContactLanes& c) {
    // Four pairs at a time, in double precision as solveContact computes.
    auto wide = [](const float* p) { return _mm256_cvtps_pd(_mm_load_ps(p)); };
    auto narrowed = [](__m256d v) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(v)); };
    const __m256d zero = _mm256_setzero_pd();
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d two = _mm256_set1_pd(2.0);
    const __m256d four = _mm256_set1_pd(4.0);
    for (int i = 0; i < c.count; i += 4) {
        const __m256d dx = _mm256_sub_pd(wide(c.x1 + i), wide(c.x2 + i));
        const __m256d dy = _mm256_sub_pd(wide(c.y1 + i), wide(c.y2 + i));
        const __m256d dvx = _mm256_sub_pd(wide(c.vx1 + i), wide(c.vx2 + i));
        const __m256d dvy = _mm256_sub_pd(wide(c.vy1 + i), wide(c.vy2 + i));
        const __m256d sum = wide(c.sumOfRadii + i);
        // a, b and c, each rounded to float.
        const __m256d a = narrowed(_mm256_add_pd(_mm256_mul_pd(dvx, dvx), _mm256_mul_pd(dvy, dvy)));
        const __m256d b = narrowed(
            _mm256_mul_pd(two, _mm256_add_pd(_mm256_mul_pd(dx, dvx), _mm256_mul_pd(dy, dvy))));
        const __m256d cc = narrowed(_mm256_sub_pd(
            _mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy)), _mm256_mul_pd(sum, sum)));
        const __m256d d =
            narrowed(_mm256_sub_pd(_mm256_mul_pd(b, b), _mm256_mul_pd(_mm256_mul_pd(four, a), cc)));
        // Not below zero and a number.
        const __m256d real = _mm256_cmp_pd(d, zero, _CMP_GE_OQ);
        const __m256d s = _mm256_sqrt_pd(d);
        const __m256d minusB = _mm256_xor_pd(b, _mm256_set1_pd(-0.0));
        const __m256d twoA = _mm256_mul_pd(two, a);
        const __m256d root1 = narrowed(_mm256_div_pd(_mm256_sub_pd(minusB, s), twoA));
        const __m256d root2 = narrowed(_mm256_div_pd(_mm256_add_pd(minusB, s), twoA));
        const __m256d touches = _mm256_and_pd(_mm256_cmp_pd(root1, zero, _CMP_GE_OQ),
                                              _mm256_cmp_pd(root1, one, _CMP_LE_OQ));
        const __m256d overlaps = _mm256_and_pd(_mm256_cmp_pd(root1, zero, _CMP_LT_OQ),
                                               _mm256_cmp_pd(root2, zero, _CMP_GE_OQ));
        const unsigned found =
            unsigned(_mm256_movemask_pd(_mm256_and_pd(real, _mm256_or_pd(touches, overlaps))));
        _mm_store_ps(c.t1 + i, _mm256_cvtpd_ps(root1));
        for (int k = 0; k < 4; ++k) c.found[i + k] = std::uint8_t((found >> k) & 1u);
    }
}

namespace {

// A 4 x 4 transpose within each half: half j of n[k] holds lane 4j + k of t0, t1, t2 and t3
// side by side.
[[gnu::always_inline]] inline void sideBySide(__m256 t0, __m256 t1, __m256 t2, __m256 t3,
                                              __m256* n) {
    const __m256 lo01 = _mm256_unpacklo_ps(t0, t1);
    const __m256 hi01 = _mm256_unpackhi_ps(t0, t1);
    const __m256 lo23 = _mm256_unpacklo_ps(t2, t3);
    const __m256 hi23 = _mm256_unpackhi_ps(t2, t3);
    n[0] = _mm256_shuffle_ps(lo01, lo23, _MM_SHUFFLE(1, 0, 1, 0));
    n[1] = _mm256_shuffle_ps(lo01, lo23, _MM_SHUFFLE(3, 2, 3, 2));
    n[2] = _mm256_shuffle_ps(hi01, hi23, _MM_SHUFFLE(1, 0, 1, 0));
    n[3] = _mm256_shuffle_ps(hi01, hi23, _MM_SHUFFLE(3, 2, 3, 2));
}

}  // namespace

void neighbourTermsAvx2(const TermLanes& t) {
    // One Agent per iteration, its eight neighbours in the lanes.
    for (int a = 0; a < t.count; ++a) {
        const __m256i ids =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t.neighbour + a * kNeighbourLanes));
        const std::int32_t self = t.self[a];
        auto gather = [&](const float* field) { return _mm256_i32gather_ps(field, ids, 4); };
        const __m256 cosNeg = _mm256_set1_ps(t.cosNeg[a]);
        const __m256 sinNeg = _mm256_set1_ps(t.sinNeg[a]);
        const __m256 dx = _mm256_sub_ps(gather(t.x), _mm256_set1_ps(t.x[self]));
        const __m256 dy = _mm256_sub_ps(gather(t.y), _mm256_set1_ps(t.y[self]));
        const __m256 f = turned(cosNeg, sinNeg, dx, dy, false);
        const __m256 l = turned(sinNeg, cosNeg, dx, dy, true);
        const __m256 d = lengthOf(f, l);
        const __m256 apart = _mm256_cmp_ps(
            d, _mm256_add_ps(_mm256_set1_ps(t.radius[self]), gather(t.radius)), _CMP_GT_OQ);
        const __m256 dvx = _mm256_sub_ps(gather(t.vx), _mm256_set1_ps(t.vx[self]));
        const __m256 dvy = _mm256_sub_ps(gather(t.vy), _mm256_set1_ps(t.vy[self]));
        // Lane k's bit of a mask byte as all ones or zeros.
        const __m256i bit = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
        auto laneMask = [&](unsigned bits) {
            return _mm256_castsi256_ps(
                _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(int(bits)), bit), bit));
        };
        const __m256 scaled = laneMask(t.scaled[a]);
        const __m256 written = _mm256_and_ps(laneMask(t.written[a]), apart);
        __m256 t0 = _mm256_blendv_ps(f, _mm256_div_ps(_mm256_div_ps(f, d), d), scaled);
        __m256 t1 = _mm256_blendv_ps(l, _mm256_div_ps(_mm256_div_ps(l, d), d), scaled);
        __m256 t2 = _mm256_div_ps(turned(cosNeg, sinNeg, dvx, dvy, false), d);
        __m256 t3 = _mm256_div_ps(turned(sinNeg, cosNeg, dvx, dvy, true), d);
        // Terms not written are zero, as in a cleared input vector.
        t0 = _mm256_and_ps(written, t0);
        t1 = _mm256_and_ps(written, t1);
        t2 = _mm256_and_ps(written, t2);
        t3 = _mm256_and_ps(written, t3);
        // Each neighbour's four terms side by side: a 4 x 4 transpose within each half,
        // then the halves in neighbour order (block j of n_k is neighbour 4j + k).
        __m256 n[4];
        sideBySide(t0, t1, t2, t3, n);
        const __m256 n0 = n[0], n1 = n[1], n2 = n[2], n3 = n[3];
        float* out = t.inputs[a];
        _mm256_storeu_ps(out, _mm256_permute2f128_ps(n0, n1, 0x20));
        _mm256_storeu_ps(out + 8, _mm256_permute2f128_ps(n2, n3, 0x20));
        _mm256_storeu_ps(out + 16, _mm256_permute2f128_ps(n0, n1, 0x31));
        _mm256_storeu_ps(out + 24, _mm256_permute2f128_ps(n2, n3, 0x31));
    }
}

namespace {

// Values `offset` to `offset` + 3 of eight rows (row r from rows[r]), transposed: out[c]
// holds value offset + c of every row, row r in lane r. The loads put rows r and r + 4
// into the two halves, so that a 4 x 4 transpose within each half finishes it.
[[gnu::always_inline]] inline void transposed8x4(const float* const* rows, int offset,
                                                 __m256* out) {
    __m256 r[4];
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i)
        r[i] = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(rows[i] + offset)),
                                    _mm_loadu_ps(rows[i + 4] + offset), 1);
    sideBySide(r[0], r[1], r[2], r[3], out);
}

struct NetworkLanes8 {
    using F = __m256;
    static constexpr int kCount = 8;
    static F zero() { return _mm256_setzero_ps(); }
    static F add(F a, F b) { return _mm256_add_ps(a, b); }
    static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
    static void transposed4(const float* const* rows, int offset, F* out) {
        transposed8x4(rows, offset, out);
    }
    static void storeFirst(float* to, int count, F v) {
        const __m256i first =
            _mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        _mm256_maskstore_ps(to, first, v);
    }
};

}  // namespace

void networksAvx2(const NetworkLanes& n) { networksOfAll<NetworkLanes8>(n); }

}  // namespace kav
