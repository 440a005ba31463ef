// The nearest search's pass eight entries per instruction. Compiled with AVX2 enabled;
// called only on machines that run it.
#include <immintrin.h>

#include "sim/nearest_kernel.h"

namespace kav {

NearestFound nearestFiveAvx2(const float* xs, const float* ys, int n, const NearestQuery& query) {
    const __m256 selfX = _mm256_set1_ps(query.x);
    const __m256 selfY = _mm256_set1_ps(query.y);
    const __m256 xLow = _mm256_set1_ps(query.xLow);
    const __m256 xHigh = _mm256_set1_ps(query.xHigh);
    const __m256 yLow = _mm256_set1_ps(query.yLow);
    const __m256 yHigh = _mm256_set1_ps(query.yHigh);
    auto pass = [&](float gateValue, Candidates& out) {
        const __m256 gate = _mm256_set1_ps(gateValue);
        for (int from = 0; from < n; from += 8) {
            const unsigned left = n - from >= 8 ? 0xFFu : (1u << (n - from)) - 1;
            const __m256 x = _mm256_loadu_ps(xs + from);
            const __m256 y = _mm256_loadu_ps(ys + from);
            // dx * dx + dy * dy, as one entry at a time computes it.
            const __m256 dx = _mm256_sub_ps(selfX, x);
            const __m256 dy = _mm256_sub_ps(selfY, y);
            const __m256 distance = _mm256_add_ps(_mm256_mul_ps(dx, dx), _mm256_mul_ps(dy, dy));
            const __m256 inside =
                _mm256_and_ps(_mm256_and_ps(_mm256_cmp_ps(x, xLow, _CMP_GE_OQ),
                                            _mm256_cmp_ps(x, xHigh, _CMP_LT_OQ)),
                              _mm256_and_ps(_mm256_cmp_ps(y, yLow, _CMP_GE_OQ),
                                            _mm256_cmp_ps(y, yHigh, _CMP_LT_OQ)));
            unsigned wanted =
                unsigned(_mm256_movemask_ps(
                    _mm256_and_ps(inside, _mm256_cmp_ps(distance, gate, _CMP_LE_OQ)))) &
                left;
            if (wanted == 0) continue;
            alignas(32) float distances[8];
            _mm256_store_ps(distances, distance);
            for (; wanted != 0; wanted &= wanted - 1) {
                const int lane = __builtin_ctz(wanted);
                out.distance[out.count] = distances[lane];
                out.position[out.count] = from + lane;
                ++out.count;
            }
        }
    };
    // Up to eight candidates are ranked in one register.
    auto select = [](const Candidates& candidates) {
        if (candidates.count > 8) return selectNearestFive(candidates);
        const __m256 distances = _mm256_loadu_ps(candidates.distance);  // lanes past count unused
        const unsigned live = (1u << candidates.count) - 1;
        auto nearer = [&](int i) {
            return unsigned(_mm256_movemask_ps(_mm256_cmp_ps(
                       distances, _mm256_set1_ps(candidates.distance[i]), _CMP_LT_OQ))) &
                   live;
        };
        auto asNear = [&](int i) {
            return unsigned(_mm256_movemask_ps(_mm256_cmp_ps(
                distances, _mm256_set1_ps(candidates.distance[i]), _CMP_EQ_OQ)));
        };
        return selectByRank(candidates, nearer, asNear);
    };
    return passAndSelect(query, pass, select);
}

}  // namespace kav
