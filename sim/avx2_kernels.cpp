// The kernels on eight lanes: every rule's template (sim/unit_kernels.h) and the batched
// nearest search on this unit's lanes types.
// Compiled with AVX2 enabled; called only on machines that run it.
#include <immintrin.h>

#include "sim/nearest_kernel.h"
#include "sim/unit_kernels.h"
#include "sim/unit_primitives.h"

namespace kav {
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

struct Double4 {
    using F = __m256;
    using V = __m256d;
    KAV_DOUBLE_ARITHMETIC(_mm256)
    static V low(F v) { return _mm256_cvtps_pd(_mm256_castps256_ps128(v)); }
    static V high(F v) { return _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)); }
    static F joined(V low, V high) {
        return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(low)),
                                    _mm256_cvtpd_ps(high), 1);
    }
};

struct Lanes8 : HalvesOf<Double4> {
    using F = __m256;
    using M = __m256;  // all ones where true
    using Ids = __m256i;
    static constexpr int kCount = 8;
    KAV_FLOAT_ARITHMETIC(_mm256)
    static F splatBits(std::int32_t v) { return _mm256_castsi256_ps(_mm256_set1_epi32(v)); }
    static F infinity() { return _mm256_set1_ps(__builtin_inff()); }
    static F magnitude(F a) { return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), a); }
    KAV_FLOAT_COMPARISONS(_mm256_cmp_ps)
    static M both(M a, M b) { return _mm256_and_ps(a, b); }
    static M either(M a, M b) { return _mm256_or_ps(a, b); }
    static F select(M m, F a, F b) { return _mm256_blendv_ps(b, a, m); }
    static F zeroUnless(M m, F a) { return _mm256_and_ps(m, a); }
    static M lanesOf(unsigned bits) {
        const __m256i bit = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
        return _mm256_castsi256_ps(
            _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(int(bits)), bit), bit));
    }
    static M firstLanes(int left) {
        return _mm256_castsi256_ps(
            _mm256_cmpgt_epi32(_mm256_set1_epi32(left), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
    }
    static F loadSlab(const float* p, M lanes) {
        return _mm256_maskload_ps(p, _mm256_castps_si256(lanes));
    }
    static int append(std::int32_t* found, int k, int pos, M inside) {
        // Four lanes at a time, each set of four from a table.
        const unsigned bits = unsigned(_mm256_movemask_ps(inside));
        for (int half = 0; half < 2; ++half) {
            const unsigned four = (bits >> (4 * half)) & 0xFu;
            const __m128i offsets =
                _mm_load_si128(reinterpret_cast<const __m128i*>(kLanesOfFour.lanes[four]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(found + k),
                             _mm_add_epi32(_mm_set1_epi32(pos + 4 * half), offsets));
            k += kLanesOfFour.count[four];
        }
        return k;
    }

    static Ids loadIds(const std::int32_t* ids) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ids));
    }
    static F gather(const float* field, Ids ids) { return _mm256_i32gather_ps(field, ids, 4); }
    template <int kPer>
    static F spread(const float* byAgent, int e) {
        if constexpr (kPer % kCount == 0) {
            return _mm256_set1_ps(byAgent[e / kPer]);
        } else {
            static_assert(kPer * 2 == kCount, "two Agents in the halves");
            return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_set1_ps(byAgent[e / kPer])),
                                        _mm_set1_ps(byAgent[e / kPer + 1]), 1);
        }
    }
    static void storeNeighbourTerms(float* const* inputs, int e, F t0, F t1, F t2, F t3) {
        // Each neighbour's four terms side by side, then the halves in neighbour order
        // (half j of n[k] is neighbour 4j + k).
        __m256 n[4];
        sideBySide(t0, t1, t2, t3, n);
        float* out = inputs[e / kNeighbourLanes];
        _mm256_storeu_ps(out, _mm256_permute2f128_ps(n[0], n[1], 0x20));
        _mm256_storeu_ps(out + 8, _mm256_permute2f128_ps(n[2], n[3], 0x20));
        _mm256_storeu_ps(out + 16, _mm256_permute2f128_ps(n[0], n[1], 0x31));
        _mm256_storeu_ps(out + 24, _mm256_permute2f128_ps(n[2], n[3], 0x31));
    }
    static void storeWallTerms(float* const* inputs, int e, F t0, F t1, F t2, F t3, M written) {
        const unsigned bits = unsigned(_mm256_movemask_ps(written));
        if (bits == 0) return;
        // Half j of n[w]: Agent j's terms of wall w.
        __m256 n[4];
        sideBySide(t0, t1, t2, t3, n);
        for (int j = 0; j < 2; ++j) {
            float* out = inputs[e / kWalls + j];
            const unsigned walls = bits >> (4 * j);
            auto half = [&](__m256 v) {
                return j == 0 ? _mm256_castps256_ps128(v) : _mm256_extractf128_ps(v, 1);
            };
            if (walls & 1) _mm_storeu_ps(out + kXWallBlock, half(n[0]));
            if (walls & 2) _mm_storeu_ps(out + kXWallBlock, half(n[1]));
            if (walls & 4) _mm_storeu_ps(out + kYWallBlock, half(n[2]));
            if (walls & 8) _mm_storeu_ps(out + kYWallBlock, half(n[3]));
        }
    }

    // The network's data movement (sim/network_kernel.h).
    // Values `offset` to `offset` + 3 of eight rows (row r from rows[r]), transposed: out[c]
    // holds value offset + c of every row, row r in lane r. The loads put rows r and r + 4
    // into the two halves, so that a 4 x 4 transpose within each half finishes it.
    [[gnu::always_inline]] static void transposed4(const float* const* rows, int offset, F* out) {
        F r[4];
#pragma GCC unroll 4
        for (int i = 0; i < 4; ++i)
            r[i] = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(rows[i] + offset)),
                                        _mm_loadu_ps(rows[i + 4] + offset), 1);
        sideBySide(r[0], r[1], r[2], r[3], out);
    }
    static void storeFirst(float* to, int count, F v) {
        const __m256i first =
            _mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        _mm256_maskstore_ps(to, first, v);
    }
};

// Four pairs per instruction, in double precision.
struct Pairs4 : Double4 {
    using D = V;
    using M = __m256d;
    static constexpr int kCount = 4;
    KAV_WIDE_PAIRS(_mm256, _mm, _mm256_cmp_pd)
    static M both(M a, M b) { return _mm256_and_pd(a, b); }
    static M either(M a, M b) { return _mm256_or_pd(a, b); }
    static void storeFound(std::uint8_t* p, M m) {
        const unsigned bits = unsigned(_mm256_movemask_pd(m));
        for (int k = 0; k < kCount; ++k) p[k] = std::uint8_t((bits >> k) & 1u);
    }
};

}  // namespace

KAV_UNIT_KERNELS(Avx2, Lanes8, Pairs4)
KAV_NEAREST_KERNEL(Avx2, Lanes8)

}  // namespace kav
