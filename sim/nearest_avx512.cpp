// The nearest search's pass sixteen entries per instruction. Compiled with AVX-512 enabled;
// called only on machines that run it.
#include <immintrin.h>

#include "sim/nearest_kernel.h"

namespace kav {

NearestFound nearestFiveAvx512(const float* xs, const float* ys, int n,
                               const NearestQuery& query) {
    const __m512 selfX = _mm512_set1_ps(query.x);
    const __m512 selfY = _mm512_set1_ps(query.y);
    const __m512 xLow = _mm512_set1_ps(query.xLow);
    const __m512 xHigh = _mm512_set1_ps(query.xHigh);
    const __m512 yLow = _mm512_set1_ps(query.yLow);
    const __m512 yHigh = _mm512_set1_ps(query.yHigh);
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    auto pass = [&](float gateValue, Candidates& out) {
        const __m512 gate = _mm512_set1_ps(gateValue);
        for (int from = 0; from < n; from += 16) {
            const __mmask16 left =
                n - from >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (n - from)) - 1);
            const __m512 x = _mm512_loadu_ps(xs + from);
            const __m512 y = _mm512_loadu_ps(ys + from);
            // dx * dx + dy * dy, as one entry at a time computes it.
            const __m512 dx = _mm512_sub_ps(selfX, x);
            const __m512 dy = _mm512_sub_ps(selfY, y);
            const __m512 distance = _mm512_add_ps(_mm512_mul_ps(dx, dx), _mm512_mul_ps(dy, dy));
            __mmask16 wanted = _mm512_mask_cmp_ps_mask(left, x, xLow, _CMP_GE_OQ);
            wanted = _mm512_mask_cmp_ps_mask(wanted, x, xHigh, _CMP_LT_OQ);
            wanted = _mm512_mask_cmp_ps_mask(wanted, y, yLow, _CMP_GE_OQ);
            wanted = _mm512_mask_cmp_ps_mask(wanted, y, yHigh, _CMP_LT_OQ);
            wanted = _mm512_mask_cmp_ps_mask(wanted, distance, gate, _CMP_LE_OQ);
            if (wanted == 0) continue;
            // Packed to the front of a register, then stored whole (faster than a
            // compressing store to memory).
            _mm512_storeu_ps(out.distance + out.count, _mm512_maskz_compress_ps(wanted, distance));
            _mm512_storeu_si512(
                out.position + out.count,
                _mm512_maskz_compress_epi32(wanted, _mm512_add_epi32(lanes, _mm512_set1_epi32(from))));
            out.count += __builtin_popcount(wanted);
        }
    };
    // Up to sixteen candidates are ranked in one register.
    auto select = [](const Candidates& candidates) {
        if (candidates.count > 16) return selectNearestFive(candidates);
        const __mmask16 live = __mmask16((1u << candidates.count) - 1);
        const __m512 distances = _mm512_mask_loadu_ps(_mm512_set1_ps(__builtin_inff()), live,
                                                      candidates.distance);
        auto nearer = [&](int i) {
            return unsigned(_mm512_cmp_ps_mask(
                distances, _mm512_set1_ps(candidates.distance[i]), _CMP_LT_OQ));
        };
        auto asNear = [&](int i) {
            return unsigned(_mm512_cmp_ps_mask(
                distances, _mm512_set1_ps(candidates.distance[i]), _CMP_EQ_OQ));
        };
        return selectByRank(candidates, nearer, asNear);
    };
    return passAndSelect(query, pass, select);
}

}  // namespace kav
