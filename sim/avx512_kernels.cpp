// The wider paths' kernels on sixteen lanes: the batched nearest search, sensing, the
// controller network, steering and the contact test.
// Compiled with AVX-512 enabled; called only on machines that run it.
// GCC 12 takes the placeholder operand of some AVX-512 conversions for an uninitialized
// variable; the warning is about the header, not this code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include "sim/contact_lanes.h"
#include "sim/nearest_kernel.h"
#include "sim/network_kernel.h"
#include "sim/steer_lanes.h"
#include "sim/term_lanes.h"
#include "sim/window_lanes.h"

namespace kav {
namespace {

struct Lanes16 {
    using F = __m512;
    using M = __mmask16;
    static F splat(float v) { return _mm512_set1_ps(v); }
    static F splatBits(std::int32_t v) { return _mm512_castsi512_ps(_mm512_set1_epi32(v)); }
    static F load(const float* p) { return _mm512_load_ps(p); }
    static void store(float* p, F v) { _mm512_store_ps(p, v); }
    static F infinity() { return _mm512_set1_ps(__builtin_inff()); }
    static F sub(F a, F b) { return _mm512_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm512_mul_ps(a, b); }
    static F add(F a, F b) { return _mm512_add_ps(a, b); }
    static M ge(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ); }
    static M lt(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    static M both(M a, M b) { return M(a & b); }
    static M either(M a, M b) { return M(a | b); }
    static F select(M m, F a, F b) { return _mm512_mask_blend_ps(m, b, a); }
};

}  // namespace

void nearestFiveAvx512(const QueryGroup& queries, const SearchedEntries& entries,
                       GroupNearest& out) {
    nearestFiveOfGroup<Lanes16>(queries, entries, out);
}

namespace {

// The eight doubles of the low or high half of sixteen floats, and back.
[[gnu::always_inline]] inline __m512d lowHalf(__m512 v) {
    return _mm512_cvtps_pd(_mm512_castps512_ps256(v));
}
[[gnu::always_inline]] inline __m512d highHalf(__m512 v) {
    return _mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(v), 1)));
}
[[gnu::always_inline]] inline __m512 joined(__m256 low, __m256 high) {
    return _mm512_castpd_ps(_mm512_insertf64x4(_mm512_castps_pd(_mm512_castps256_ps512(low)),
                                               _mm256_castps_pd(high), 1));
}

// FrameRotation::forward (c = cos, s = sin) or ::left (c = sin, s = -) of sixteen vectors:
// double(c) * x - double(s) * y, or double(c) * x + double(s) * y, rounded to float.
[[gnu::always_inline]] inline __m512 turned(__m512 c, __m512 s, __m512 x, __m512 y, bool add) {
    auto half = [&](__m512d cc, __m512d ss, __m512d xx, __m512d yy) {
        const __m512d first = _mm512_mul_pd(cc, xx);
        const __m512d second = _mm512_mul_pd(ss, yy);
        return _mm512_cvtpd_ps(add ? _mm512_add_pd(first, second) : _mm512_sub_pd(first, second));
    };
    return joined(half(lowHalf(c), lowHalf(s), lowHalf(x), lowHalf(y)),
                  half(highHalf(c), highHalf(s), highHalf(x), highHalf(y)));
}

// The distance sqrt(double(f)² + double(l)²), rounded to float, of sixteen pairs.
[[gnu::always_inline]] inline __m512 lengthOf(__m512 f, __m512 l) {
    auto half = [](__m512d ff, __m512d ll) {
        return _mm512_cvtpd_ps(
            _mm512_sqrt_pd(_mm512_add_pd(_mm512_mul_pd(ff, ff), _mm512_mul_pd(ll, ll))));
    };
    return joined(half(lowHalf(f), lowHalf(l)), half(highHalf(f), highHalf(l)));
}

// A 4 x 4 transpose within each block of four lanes: block j of n[k] holds lane 4j + k of
// t0, t1, t2 and t3 side by side.
struct Fours {
    __m512 n[4];
};
[[gnu::always_inline]] inline Fours sideBySide(__m512 t0, __m512 t1, __m512 t2, __m512 t3) {
    const __m512 lo01 = _mm512_unpacklo_ps(t0, t1);
    const __m512 hi01 = _mm512_unpackhi_ps(t0, t1);
    const __m512 lo23 = _mm512_unpacklo_ps(t2, t3);
    const __m512 hi23 = _mm512_unpackhi_ps(t2, t3);
    return {{_mm512_shuffle_ps(lo01, lo23, _MM_SHUFFLE(1, 0, 1, 0)),
             _mm512_shuffle_ps(lo01, lo23, _MM_SHUFFLE(3, 2, 3, 2)),
             _mm512_shuffle_ps(hi01, hi23, _MM_SHUFFLE(1, 0, 1, 0)),
             _mm512_shuffle_ps(hi01, hi23, _MM_SHUFFLE(3, 2, 3, 2))}};
}

// Quadratic drag and the per-tick limit, as `steer` applies them to one component.
[[gnu::always_inline]] inline __m512 dragAndLimit(__m512 component, float dragFactor,
                                                  float maxSpeed) {
    const __m512d drag = _mm512_set1_pd(double(dragFactor));
    const __m512d low = _mm512_cvtps_pd(_mm512_castps512_ps256(component));
    const __m512d high =
        _mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(component), 1)));
    const __m256 dragLow = _mm512_cvtpd_ps(_mm512_mul_pd(_mm512_mul_pd(low, low), drag));
    const __m256 dragHigh = _mm512_cvtpd_ps(_mm512_mul_pd(_mm512_mul_pd(high, high), drag));
    const __m512 dragged = _mm512_castpd_ps(_mm512_insertf64x4(
        _mm512_castps_pd(_mm512_castps256_ps512(dragLow)), _mm256_castps_pd(dragHigh), 1));
    const __m512 one = _mm512_set1_ps(1.0f);
    const __m512 minusOne = _mm512_set1_ps(-1.0f);
    auto sign = [&](__m512 v) {
        return _mm512_mask_blend_ps(_mm512_cmp_ps_mask(v, _mm512_setzero_ps(), _CMP_LT_OQ), one,
                                    minusOne);
    };
    const __m512 result = _mm512_sub_ps(component, _mm512_mul_ps(sign(component), dragged));
    const __m512 limit = _mm512_set1_ps(maxSpeed);
    const __mmask16 beyond = _mm512_cmp_ps_mask(_mm512_abs_ps(result), limit, _CMP_GT_OQ);
    return _mm512_mask_blend_ps(beyond, result, _mm512_mul_ps(sign(result), limit));
}

}  // namespace

void steerLanesAvx512(const SteerLanes& b) {
    for (int i = 0; i < b.count; i += 16) {
        const __m512 forward = _mm512_load_ps(b.forward + i);
        const __m512 lateral = _mm512_load_ps(b.lateral + i);
        const __m512 cosH = _mm512_load_ps(b.cosH + i);
        const __m512 sinH = _mm512_load_ps(b.sinH + i);
        const __m512 cost = _mm512_mul_ps(
            _mm512_set1_ps(b.thrustCost),
            _mm512_add_ps(_mm512_mul_ps(lateral, lateral), _mm512_mul_ps(forward, forward)));
        _mm512_store_ps(b.energy + i, _mm512_sub_ps(_mm512_load_ps(b.energy + i), cost));
        const __m512 thrustX = turned(cosH, sinH, forward, lateral, false);
        const __m512 thrustY = turned(sinH, cosH, forward, lateral, true);
        _mm512_store_ps(b.nextVx + i, dragAndLimit(_mm512_add_ps(_mm512_load_ps(b.vx + i), thrustX),
                                                   b.drag, b.maxSpeed));
        _mm512_store_ps(b.nextVy + i, dragAndLimit(_mm512_add_ps(_mm512_load_ps(b.vy + i), thrustY),
                                                   b.drag, b.maxSpeed));
    }
}

void solveContactsAvx512(const ContactLanes& c) {
    // Eight pairs at a time, in double precision as solveContact computes.
    auto wide = [](const float* p) { return _mm512_cvtps_pd(_mm256_load_ps(p)); };
    auto narrowed = [](__m512d v) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(v)); };
    const __m512d zero = _mm512_setzero_pd();
    const __m512d one = _mm512_set1_pd(1.0);
    const __m512d two = _mm512_set1_pd(2.0);
    const __m512d four = _mm512_set1_pd(4.0);
    for (int i = 0; i < c.count; i += 8) {
        const __m512d dx = _mm512_sub_pd(wide(c.x1 + i), wide(c.x2 + i));
        const __m512d dy = _mm512_sub_pd(wide(c.y1 + i), wide(c.y2 + i));
        const __m512d dvx = _mm512_sub_pd(wide(c.vx1 + i), wide(c.vx2 + i));
        const __m512d dvy = _mm512_sub_pd(wide(c.vy1 + i), wide(c.vy2 + i));
        const __m512d sum = wide(c.sumOfRadii + i);
        // a, b and c, each rounded to float.
        const __m512d a = narrowed(_mm512_add_pd(_mm512_mul_pd(dvx, dvx), _mm512_mul_pd(dvy, dvy)));
        const __m512d b = narrowed(
            _mm512_mul_pd(two, _mm512_add_pd(_mm512_mul_pd(dx, dvx), _mm512_mul_pd(dy, dvy))));
        const __m512d cc = narrowed(_mm512_sub_pd(
            _mm512_add_pd(_mm512_mul_pd(dx, dx), _mm512_mul_pd(dy, dy)), _mm512_mul_pd(sum, sum)));
        const __m512d d =
            narrowed(_mm512_sub_pd(_mm512_mul_pd(b, b), _mm512_mul_pd(_mm512_mul_pd(four, a), cc)));
        // Not below zero and a number.
        const __mmask8 real = _mm512_cmp_pd_mask(d, zero, _CMP_GE_OQ);
        const __m512d s = _mm512_sqrt_pd(d);
        const __m512d minusB = _mm512_xor_pd(b, _mm512_set1_pd(-0.0));
        const __m512d twoA = _mm512_mul_pd(two, a);
        const __m512d root1 = narrowed(_mm512_div_pd(_mm512_sub_pd(minusB, s), twoA));
        const __m512d root2 = narrowed(_mm512_div_pd(_mm512_add_pd(minusB, s), twoA));
        const __mmask8 touches = _mm512_cmp_pd_mask(root1, zero, _CMP_GE_OQ) &
                                 _mm512_cmp_pd_mask(root1, one, _CMP_LE_OQ);
        const __mmask8 overlaps = _mm512_cmp_pd_mask(root1, zero, _CMP_LT_OQ) &
                                  _mm512_cmp_pd_mask(root2, zero, _CMP_GE_OQ);
        const unsigned found = unsigned(real & (touches | overlaps));
        _mm256_store_ps(c.t1 + i, _mm512_cvtpd_ps(root1));
        for (int k = 0; k < 8; ++k) c.found[i + k] = std::uint8_t((found >> k) & 1u);
    }
}

void neighbourTermsAvx512(const TermLanes& t) {
    // Two Agents per iteration: lanes 0-7 the first's neighbours, 8-15 the second's.
    for (int a = 0; a < t.count; a += 2) {
        const __m512i ids = _mm512_loadu_si512(t.neighbour + a * kNeighbourLanes);
        auto gather = [&](const float* field) { return _mm512_i32gather_ps(ids, field, 4); };
        auto pair = [&](const float* byAgent) {
            return joined(_mm256_set1_ps(byAgent[a]), _mm256_set1_ps(byAgent[a + 1]));
        };
        auto selves = [&](const float* field) {
            return joined(_mm256_set1_ps(field[t.self[a]]), _mm256_set1_ps(field[t.self[a + 1]]));
        };
        const __m512 cosNeg = pair(t.cosNeg);
        const __m512 sinNeg = pair(t.sinNeg);
        const __m512 dx = _mm512_sub_ps(gather(t.x), selves(t.x));
        const __m512 dy = _mm512_sub_ps(gather(t.y), selves(t.y));
        const __m512 f = turned(cosNeg, sinNeg, dx, dy, false);
        const __m512 l = turned(sinNeg, cosNeg, dx, dy, true);
        const __m512 d = lengthOf(f, l);
        const __mmask16 apart =
            _mm512_cmp_ps_mask(d, _mm512_add_ps(selves(t.radius), gather(t.radius)), _CMP_GT_OQ);
        const __m512 dvx = _mm512_sub_ps(gather(t.vx), selves(t.vx));
        const __m512 dvy = _mm512_sub_ps(gather(t.vy), selves(t.vy));
        const __mmask16 scaled = __mmask16(t.scaled[a] | (t.scaled[a + 1] << 8));
        const __mmask16 written = __mmask16((t.written[a] | (t.written[a + 1] << 8)) & apart);
        __m512 t0 = _mm512_mask_blend_ps(scaled, f, _mm512_div_ps(_mm512_div_ps(f, d), d));
        __m512 t1 = _mm512_mask_blend_ps(scaled, l, _mm512_div_ps(_mm512_div_ps(l, d), d));
        __m512 t2 = _mm512_div_ps(turned(cosNeg, sinNeg, dvx, dvy, false), d);
        __m512 t3 = _mm512_div_ps(turned(sinNeg, cosNeg, dvx, dvy, true), d);
        // Terms not written are zero, as in a cleared input vector.
        t0 = _mm512_maskz_mov_ps(written, t0);
        t1 = _mm512_maskz_mov_ps(written, t1);
        t2 = _mm512_maskz_mov_ps(written, t2);
        t3 = _mm512_maskz_mov_ps(written, t3);
        // Each neighbour's four terms side by side: a 4 x 4 transpose within each block of
        // four lanes, then the blocks in neighbour order.
        const Fours side = sideBySide(t0, t1, t2, t3);
        const __m512 n0 = side.n[0], n1 = side.n[1], n2 = side.n[2], n3 = side.n[3];
        // Block j of n_k is neighbour 4j + k.
        const __m512 q0 = _mm512_shuffle_f32x4(n0, n1, _MM_SHUFFLE(1, 0, 1, 0));
        const __m512 q1 = _mm512_shuffle_f32x4(n2, n3, _MM_SHUFFLE(1, 0, 1, 0));
        const __m512 q2 = _mm512_shuffle_f32x4(n0, n1, _MM_SHUFFLE(3, 2, 3, 2));
        const __m512 q3 = _mm512_shuffle_f32x4(n2, n3, _MM_SHUFFLE(3, 2, 3, 2));
        _mm512_storeu_ps(t.inputs[a], _mm512_shuffle_f32x4(q0, q1, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm512_storeu_ps(t.inputs[a] + 16, _mm512_shuffle_f32x4(q0, q1, _MM_SHUFFLE(3, 1, 3, 1)));
        _mm512_storeu_ps(t.inputs[a + 1], _mm512_shuffle_f32x4(q2, q3, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm512_storeu_ps(t.inputs[a + 1] + 16,
                         _mm512_shuffle_f32x4(q2, q3, _MM_SHUFFLE(3, 1, 3, 1)));
    }
}

void wallTermsAvx512(const WallLanes& w) {
    // Four Agents per iteration: lanes 4j to 4j + 3 are Agent j's left, right, bottom and
    // top walls.
    const __m512i agentOfLane = _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
    constexpr __mmask16 kLeft = 0x1111, kRight = 0x2222, kBottom = 0x4444, kTop = 0x8888;
    const __m512 zero = _mm512_setzero_ps();
    const __m512 sign = _mm512_set1_ps(-0.0f);
    for (int k = 0; k < w.count; k += 4) {
        auto perAgent = [&](const float* byAgent) {
            return _mm512_permutexvar_ps(agentOfLane,
                                         _mm512_castps128_ps512(_mm_loadu_ps(byAgent + k)));
        };
        const __m512 x = perAgent(w.x);
        const __m512 y = perAgent(w.y);
        const __m512 vx = perAgent(w.vx);
        const __m512 vy = perAgent(w.vy);
        const __m512 range = perAgent(w.senseRange);
        const __m512 cosNeg = perAgent(w.cosNeg);
        const __m512 sinNeg = perAgent(w.sinNeg);
        const __m512 xMin = _mm512_set1_ps(w.xMin);
        const __m512 xMax = _mm512_set1_ps(w.xMax);
        const __m512 yMin = _mm512_set1_ps(w.yMin);
        const __m512 yMax = _mm512_set1_ps(w.yMax);
        const __mmask16 inRange =
            (kLeft & _mm512_cmp_ps_mask(xMin, _mm512_sub_ps(x, range), _CMP_GT_OQ)) |
            (kRight & _mm512_cmp_ps_mask(xMax, _mm512_add_ps(x, range), _CMP_LT_OQ)) |
            (kBottom & _mm512_cmp_ps_mask(yMin, _mm512_sub_ps(y, range), _CMP_GT_OQ)) |
            (kTop & _mm512_cmp_ps_mask(yMax, _mm512_add_ps(y, range), _CMP_LT_OQ));
        // The offset to each wall and its velocity term before rotation; zero elsewhere.
        const __m512 px = _mm512_mask_sub_ps(_mm512_maskz_sub_ps(kLeft, xMin, x), kRight, xMax, x);
        const __m512 py = _mm512_mask_sub_ps(_mm512_maskz_sub_ps(kBottom, yMin, y), kTop, yMax, y);
        const __m512 wvx = _mm512_mask_xor_ps(_mm512_maskz_mov_ps(kLeft, vx), kRight, vx, sign);
        const __m512 wvy = _mm512_mask_xor_ps(_mm512_maskz_mov_ps(kBottom, vy), kTop, vy, sign);
        const __m512 f = turned(cosNeg, sinNeg, px, py, false);
        const __m512 l = turned(sinNeg, cosNeg, px, py, true);
        const __m512 d = lengthOf(f, l);
        const unsigned written =
            inRange & _mm512_cmp_ps_mask(d, _mm512_set1_ps(0.001f), _CMP_GT_OQ);
        const __m512 vf = turned(cosNeg, sinNeg, wvx, wvy, false);
        const __m512 vl = turned(sinNeg, cosNeg, wvx, wvy, true);
        // The left wall's velocity term is not divided by the distance.
        constexpr __mmask16 kDivided = kRight | kBottom | kTop;
        const __m512 t0 = _mm512_div_ps(_mm512_div_ps(f, d), d);
        const __m512 t1 = _mm512_div_ps(_mm512_div_ps(l, d), d);
        const __m512 t2 = _mm512_mask_div_ps(vf, kDivided, vf, d);
        const __m512 t3 = _mm512_mask_div_ps(vl, kDivided, vl, d);
        // Block j of n_w: Agent j's terms of wall w.
        const Fours side = sideBySide(t0, t1, t2, t3);
        const __m512 n0 = side.n[0], n1 = side.n[1], n2 = side.n[2], n3 = side.n[3];
        // Of each axis the later wall written wins, as the walls are written in order.
        auto blocksOf = [&](int wall) { return __mmask16(((written >> wall) & 0x1111u) * 0xFu); };
        const __m512 xTerms =
            _mm512_mask_blend_ps(blocksOf(1), _mm512_mask_blend_ps(blocksOf(0), zero, n0), n1);
        const __m512 yTerms =
            _mm512_mask_blend_ps(blocksOf(3), _mm512_mask_blend_ps(blocksOf(2), zero, n2), n3);
        _mm_storeu_ps(w.inputs[k] + 32, _mm512_extractf32x4_ps(xTerms, 0));
        _mm_storeu_ps(w.inputs[k] + 36, _mm512_extractf32x4_ps(yTerms, 0));
        _mm_storeu_ps(w.inputs[k + 1] + 32, _mm512_extractf32x4_ps(xTerms, 1));
        _mm_storeu_ps(w.inputs[k + 1] + 36, _mm512_extractf32x4_ps(yTerms, 1));
        _mm_storeu_ps(w.inputs[k + 2] + 32, _mm512_extractf32x4_ps(xTerms, 2));
        _mm_storeu_ps(w.inputs[k + 2] + 36, _mm512_extractf32x4_ps(yTerms, 2));
        _mm_storeu_ps(w.inputs[k + 3] + 32, _mm512_extractf32x4_ps(xTerms, 3));
        _mm_storeu_ps(w.inputs[k + 3] + 36, _mm512_extractf32x4_ps(yTerms, 3));
    }
}

namespace {

// Values `offset` to `offset` + 3 of sixteen rows (row r from rows[r]), transposed: out[c]
// holds value offset + c of every row, row r in lane r. The loads put rows e, 4 + e, 8 + e
// and 12 + e into the four blocks of r[e], so that a 4 x 4 transpose within each block
// finishes it.
[[gnu::always_inline]] inline void transposed16x4(const float* const* rows, int offset,
                                                  __m512* out) {
    __m512 r[4];
#pragma GCC unroll 4
    for (int e = 0; e < 4; ++e) {
        __m512 v = _mm512_castps128_ps512(_mm_loadu_ps(rows[e] + offset));
        v = _mm512_insertf32x4(v, _mm_loadu_ps(rows[4 + e] + offset), 1);
        v = _mm512_insertf32x4(v, _mm_loadu_ps(rows[8 + e] + offset), 2);
        r[e] = _mm512_insertf32x4(v, _mm_loadu_ps(rows[12 + e] + offset), 3);
    }
    const Fours side = sideBySide(r[0], r[1], r[2], r[3]);
#pragma GCC unroll 4
    for (int c = 0; c < 4; ++c) out[c] = side.n[c];
}

struct NetworkLanes16 {
    using F = __m512;
    static constexpr int kCount = 16;
    static F zero() { return _mm512_setzero_ps(); }
    static F add(F a, F b) { return _mm512_add_ps(a, b); }
    static F mul(F a, F b) { return _mm512_mul_ps(a, b); }
    static void transposed4(const float* const* rows, int offset, F* out) {
        transposed16x4(rows, offset, out);
    }
    static void storeFirst(float* to, int count, F v) {
        _mm512_mask_storeu_ps(to, count >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << count) - 1),
                              v);
    }
};

}  // namespace

void networksAvx512(const NetworkLanes& n) { networksOfAll<NetworkLanes16>(n); }

void windowEntriesAvx512(const WindowLanes& w) {
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    int k = 0;
    for (int window = 0; window < w.windows; ++window) {
        const __m512 lowX = _mm512_set1_ps(w.lowX[window]);
        const __m512 highX = _mm512_set1_ps(w.highX[window]);
        const __m512 lowY = _mm512_set1_ps(w.lowY[window]);
        const __m512 highY = _mm512_set1_ps(w.highY[window]);
        const int end = w.end[window];
        for (int pos = w.begin[window]; pos < end; pos += 16) {
            // Lanes past the slab are neither read nor kept.
            const int left = end - pos;
            const __mmask16 inSlab = left >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << left) - 1);
            const __m512 x = _mm512_maskz_loadu_ps(inSlab, w.x + pos);
            const __m512 y = _mm512_maskz_loadu_ps(inSlab, w.y + pos);
            // NLT_UQ is !(a < b), true also when b is not a number.
            __mmask16 inside = _mm512_mask_cmp_ps_mask(inSlab, x, lowX, _CMP_NLT_UQ);
            inside = _mm512_mask_cmp_ps_mask(inside, x, highX, _CMP_LT_OQ);
            inside = _mm512_mask_cmp_ps_mask(inside, y, lowY, _CMP_NLT_UQ);
            inside = _mm512_mask_cmp_ps_mask(inside, y, highY, _CMP_LT_OQ);
            _mm512_mask_compressstoreu_epi32(w.found + k, inside,
                                             _mm512_add_epi32(lanes, _mm512_set1_epi32(pos)));
            k += __builtin_popcount(inside);
        }
        w.foundEnd[window] = k;
    }
}

}  // namespace kav
