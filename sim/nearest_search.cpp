// The nearest search's pass four entries per instruction (SSE2, in every x86-64
// processor), and the choice of the pass by vector path.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "sim/nearest_kernel.h"

namespace kav {

NearestFound nearestFiveSse2(const float* xs, const float* ys, int n, const NearestQuery& query) {
#if defined(__SSE2__)
    const __m128 selfX = _mm_set1_ps(query.x);
    const __m128 selfY = _mm_set1_ps(query.y);
    const __m128 xLow = _mm_set1_ps(query.xLow);
    const __m128 xHigh = _mm_set1_ps(query.xHigh);
    const __m128 yLow = _mm_set1_ps(query.yLow);
    const __m128 yHigh = _mm_set1_ps(query.yHigh);
    auto pass = [&](float gateValue, Candidates& out) {
        const __m128 gate = _mm_set1_ps(gateValue);
        for (int from = 0; from < n; from += 4) {
            const unsigned left = n - from >= 4 ? 0xFu : (1u << (n - from)) - 1;
            const __m128 x = _mm_loadu_ps(xs + from);
            const __m128 y = _mm_loadu_ps(ys + from);
            const __m128 dx = _mm_sub_ps(selfX, x);
            const __m128 dy = _mm_sub_ps(selfY, y);
            const __m128 distance = _mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy));
            const __m128 inside =
                _mm_and_ps(_mm_and_ps(_mm_cmpge_ps(x, xLow), _mm_cmplt_ps(x, xHigh)),
                           _mm_and_ps(_mm_cmpge_ps(y, yLow), _mm_cmplt_ps(y, yHigh)));
            unsigned wanted =
                unsigned(_mm_movemask_ps(_mm_and_ps(inside, _mm_cmple_ps(distance, gate)))) &
                left;
            if (wanted == 0) continue;
            alignas(16) float distances[4];
            _mm_store_ps(distances, distance);
            for (; wanted != 0; wanted &= wanted - 1) {
                const int lane = __builtin_ctz(wanted);
                out.distance[out.count] = distances[lane];
                out.position[out.count] = from + lane;
                ++out.count;
            }
        }
    };
#else
    auto pass = [&](float gate, Candidates& out) {
        for (int pos = 0; pos < n; ++pos) {
            const float x = xs[pos];
            const float y = ys[pos];
            const float dx = query.x - x;
            const float dy = query.y - y;
            const float distance = dx * dx + dy * dy;
            if (x >= query.xLow && x < query.xHigh && y >= query.yLow && y < query.yHigh &&
                distance <= gate) {
                out.distance[out.count] = distance;
                out.position[out.count] = pos;
                ++out.count;
            }
        }
    };
#endif
    return passAndSelect(query, pass, selectNearestFive);
}

NearestFound nearestFive(VectorPath path, const float* xs, const float* ys, int n,
                         const NearestQuery& query) {
#if defined(KAVROSA_VECTOR_PATHS)
    if (path == VectorPath::avx512) return nearestFiveAvx512(xs, ys, n, query);
    if (path == VectorPath::avx2) return nearestFiveAvx2(xs, ys, n, query);
#else
    (void)path;
#endif
    return nearestFiveSse2(xs, ys, n, query);
}

}  // namespace kav
