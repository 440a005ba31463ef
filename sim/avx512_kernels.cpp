// The kernels on sixteen lanes: every rule's template (sim/unit_kernels.h) and the batched
// nearest search on this unit's lanes types.
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

#include "sim/nearest_kernel.h"
#include "sim/unit_kernels.h"
#include "sim/unit_primitives.h"

namespace kav {
namespace {

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

struct Double8 {
    using F = __m512;
    using V = __m512d;
    KAV_DOUBLE_ARITHMETIC(_mm512)
    static V low(F v) { return _mm512_cvtps_pd(_mm512_castps512_ps256(v)); }
    static V high(F v) {
        return _mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(v), 1)));
    }
    static F joined(V low, V high) {
        return joinedHalves(_mm512_cvtpd_ps(low), _mm512_cvtpd_ps(high));
    }
    static F joinedHalves(__m256 low, __m256 high) {
        return _mm512_castpd_ps(_mm512_insertf64x4(_mm512_castps_pd(_mm512_castps256_ps512(low)),
                                                   _mm256_castps_pd(high), 1));
    }
};

struct Lanes16 : HalvesOf<Double8> {
    using F = __m512;
    using M = __mmask16;
    using Ids = __m512i;
    static constexpr int kCount = 16;
    KAV_FLOAT_ARITHMETIC(_mm512)
    static F splatBits(std::int32_t v) { return _mm512_castsi512_ps(_mm512_set1_epi32(v)); }
    static F infinity() { return _mm512_set1_ps(__builtin_inff()); }
    static F magnitude(F a) { return _mm512_abs_ps(a); }
    KAV_FLOAT_COMPARISONS(_mm512_cmp_ps_mask)
    static M both(M a, M b) { return M(a & b); }
    static M either(M a, M b) { return M(a | b); }
    static F select(M m, F a, F b) { return _mm512_mask_blend_ps(m, b, a); }
    static F zeroUnless(M m, F a) { return _mm512_maskz_mov_ps(m, a); }
    static M lanesOf(unsigned bits) { return M(bits); }
    static M firstLanes(int left) { return left >= 16 ? M(0xFFFF) : M((1u << left) - 1); }
    static F loadSlab(const float* p, M lanes) { return _mm512_maskz_loadu_ps(lanes, p); }
    static int append(std::int32_t* found, int k, int pos, M inside) {
        const __m512i lanes =
            _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        _mm512_mask_compressstoreu_epi32(found + k, inside,
                                         _mm512_add_epi32(lanes, _mm512_set1_epi32(pos)));
        return k + __builtin_popcount(inside);
    }

    static Ids loadIds(const std::int32_t* ids) { return _mm512_loadu_si512(ids); }
    static F gather(const float* field, Ids ids) { return _mm512_i32gather_ps(ids, field, 4); }
    template <int kPer>
    static F spread(const float* byAgent, int e) {
        const int first = e / kPer;
        if constexpr (kPer == 8) {
            return Double8::joinedHalves(_mm256_set1_ps(byAgent[first]),
                                         _mm256_set1_ps(byAgent[first + 1]));
        } else {
            static_assert(kPer == 4, "four Agents in the blocks of four lanes");
            const __m512i agentOfLane =
                _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
            return _mm512_permutexvar_ps(agentOfLane,
                                         _mm512_castps128_ps512(_mm_loadu_ps(byAgent + first)));
        }
    }
    static void storeNeighbourTerms(float* const* inputs, int e, F t0, F t1, F t2, F t3) {
        // Each neighbour's four terms side by side, then the blocks in neighbour order:
        // block j of n_k is neighbour 4j + k.
        const Fours side = sideBySide(t0, t1, t2, t3);
        const __m512 q0 = _mm512_shuffle_f32x4(side.n[0], side.n[1], _MM_SHUFFLE(1, 0, 1, 0));
        const __m512 q1 = _mm512_shuffle_f32x4(side.n[2], side.n[3], _MM_SHUFFLE(1, 0, 1, 0));
        const __m512 q2 = _mm512_shuffle_f32x4(side.n[0], side.n[1], _MM_SHUFFLE(3, 2, 3, 2));
        const __m512 q3 = _mm512_shuffle_f32x4(side.n[2], side.n[3], _MM_SHUFFLE(3, 2, 3, 2));
        float* first = inputs[e / kNeighbourLanes];
        float* second = inputs[e / kNeighbourLanes + 1];
        _mm512_storeu_ps(first, _mm512_shuffle_f32x4(q0, q1, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm512_storeu_ps(first + 16, _mm512_shuffle_f32x4(q0, q1, _MM_SHUFFLE(3, 1, 3, 1)));
        _mm512_storeu_ps(second, _mm512_shuffle_f32x4(q2, q3, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm512_storeu_ps(second + 16, _mm512_shuffle_f32x4(q2, q3, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    static void storeWallTerms(float* const* inputs, int e, F t0, F t1, F t2, F t3, M written) {
        // Block j of n_w: Agent j's terms of wall w. Of each axis the later wall written
        // wins; where neither is written, the block keeps the zeros it was cleared to.
        const Fours side = sideBySide(t0, t1, t2, t3);
        auto blocksOf = [&](int wall) { return M(((unsigned(written) >> wall) & 0x1111u) * 0xFu); };
        const M xWritten = M(blocksOf(0) | blocksOf(1));
        const M yWritten = M(blocksOf(2) | blocksOf(3));
        const __m512 xTerms = _mm512_mask_blend_ps(blocksOf(1), side.n[0], side.n[1]);
        const __m512 yTerms = _mm512_mask_blend_ps(blocksOf(3), side.n[2], side.n[3]);
        for (int j = 0; j < 4; ++j) {
            float* out = inputs[e / kWalls + j];
            const M block = M(0xFu << (4 * j));
            _mm512_mask_storeu_ps(out + kXWallBlock - 4 * j, M(xWritten & block), xTerms);
            _mm512_mask_storeu_ps(out + kYWallBlock - 4 * j, M(yWritten & block), yTerms);
        }
    }

    // The network's data movement (sim/network_kernel.h).
    // Values `offset` to `offset` + 3 of sixteen rows (row r from rows[r]), transposed:
    // out[c] holds value offset + c of every row, row r in lane r. The loads put rows e,
    // 4 + e, 8 + e and 12 + e into the four blocks of r[e], so that a 4 x 4 transpose within
    // each block finishes it.
    [[gnu::always_inline]] static void transposed4(const float* const* rows, int offset, F* out) {
        F r[4];
#pragma GCC unroll 4
        for (int e = 0; e < 4; ++e) {
            F v = _mm512_castps128_ps512(_mm_loadu_ps(rows[e] + offset));
            v = _mm512_insertf32x4(v, _mm_loadu_ps(rows[4 + e] + offset), 1);
            v = _mm512_insertf32x4(v, _mm_loadu_ps(rows[8 + e] + offset), 2);
            r[e] = _mm512_insertf32x4(v, _mm_loadu_ps(rows[12 + e] + offset), 3);
        }
        const Fours side = sideBySide(r[0], r[1], r[2], r[3]);
#pragma GCC unroll 4
        for (int c = 0; c < 4; ++c) out[c] = side.n[c];
    }
    static void storeFirst(float* to, int count, F v) {
        _mm512_mask_storeu_ps(to, count >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << count) - 1),
                              v);
    }
};

// Eight pairs per instruction, in double precision.
struct Pairs8 : Double8 {
    using D = V;
    using M = __mmask8;
    static constexpr int kCount = 8;
    KAV_WIDE_PAIRS(_mm512, _mm256, _mm512_cmp_pd_mask)
    static M both(M a, M b) { return M(a & b); }
    static M either(M a, M b) { return M(a | b); }
    static void storeFound(std::uint8_t* p, M m) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_maskz_set1_epi8(m, 1));
    }
};

}  // namespace

KAV_UNIT_KERNELS(Avx512, Lanes16, Pairs8)
KAV_NEAREST_KERNEL(Avx512, Lanes16)

}  // namespace kav
