#pragma once
// What the wider vector paths' neighbour terms share: both blocks' eight neighbours in the
// eight lanes of an AVX register, lanes 0 to 3 the first block's and 4 to 7 the second's.
// Each path's file is compiled for its own instruction set and brings the arithmetic in
// double (PackedFrame), so everything here has internal linkage: an inline copy built for
// a wider unit must never be the one linked into a narrower path. For the same reason this
// file includes no standard header that could instantiate a function.
#include <immintrin.h>

#include "sim/sensing_terms.h"

namespace kav {
namespace {

// The position and velocity of eight Agents, lane k from the k-th: each Agent's four
// adjacent fields in one load, then four by four transposes in each half (a load of a
// vector from separate scalar stores would wait for them to reach the cache; these fields
// were written phases ago).
static_assert(__builtin_offsetof(Agent, y) == __builtin_offsetof(Agent, x) + 4 &&
              __builtin_offsetof(Agent, vx) == __builtin_offsetof(Agent, x) + 8 &&
              __builtin_offsetof(Agent, vy) == __builtin_offsetof(Agent, x) + 12);
struct Motion {
    __m256 x, y, vx, vy;
};
[[gnu::always_inline]] inline Motion motionOf(const Agent* const other[8]) {
    const __m256 rows[4] = {_mm256_loadu2_m128(&other[4]->x, &other[0]->x),
                            _mm256_loadu2_m128(&other[5]->x, &other[1]->x),
                            _mm256_loadu2_m128(&other[6]->x, &other[2]->x),
                            _mm256_loadu2_m128(&other[7]->x, &other[3]->x)};
    const __m256 xy01 = _mm256_unpacklo_ps(rows[0], rows[1]);
    const __m256 v01 = _mm256_unpackhi_ps(rows[0], rows[1]);
    const __m256 xy23 = _mm256_unpacklo_ps(rows[2], rows[3]);
    const __m256 v23 = _mm256_unpackhi_ps(rows[2], rows[3]);
    return {_mm256_shuffle_ps(xy01, xy23, 0x44), _mm256_shuffle_ps(xy01, xy23, 0xEE),
            _mm256_shuffle_ps(v01, v23, 0x44), _mm256_shuffle_ps(v01, v23, 0xEE)};
}

// Half `a` of x in the low half and half `b` of y in the high half.
template <int a, int b>
[[gnu::always_inline]] inline __m256 halves(__m256 x, __m256 y) {
    return _mm256_permute2f128_ps(x, y, a | (2 + b) << 4);
}

// Both blocks' terms when exactly one block is scaled; `kFirstScaled` tells which. The
// divisions are what takes the time, so only those that are used are made, eight lanes
// each: the scaled block's offsets, forward and left side by side, divided twice by the
// distance, its velocities divided once, and the other block's velocities divided once.
// The unscaled block's offsets are written raw.
template <bool kFirstScaled, class PackedFrame>
[[gnu::always_inline]] inline void writeBothBlocks(float* inputs, const Agent& self,
                                                   const NeighbourBlock& first,
                                                   const NeighbourBlock& second,
                                                   const PackedFrame& packed) {
    // Lanes without a neighbour compute on the Agent itself and are not written.
    const Agent* other[8];
    for (int k = 0; k < 4; ++k) {
        other[k] = k < first.count ? first.neighbours[k] : &self;
        other[4 + k] = k < second.count ? second.neighbours[k] : &self;
    }
    const Motion motion = motionOf(other);
    const __m256 radius =
        _mm256_setr_ps(other[0]->radius, other[1]->radius, other[2]->radius, other[3]->radius,
                       other[4]->radius, other[5]->radius, other[6]->radius, other[7]->radius);
    const __m256 dx = _mm256_sub_ps(motion.x, _mm256_set1_ps(self.x));
    const __m256 dy = _mm256_sub_ps(motion.y, _mm256_set1_ps(self.y));
    const __m256 f = packed.forward(dx, dy);
    const __m256 l = packed.left(dx, dy);
    const __m256 d = packed.length(f, l);
    const __m256 apart =
        _mm256_cmp_ps(d, _mm256_add_ps(_mm256_set1_ps(self.radius), radius), _CMP_GT_OQ);
    const __m256 dvx = _mm256_sub_ps(motion.vx, _mm256_set1_ps(self.vx));
    const __m256 dvy = _mm256_sub_ps(motion.vy, _mm256_set1_ps(self.vy));
    const __m256 vf = packed.forward(dvx, dvy);
    const __m256 vl = packed.left(dvx, dvy);

    constexpr int s = kFirstScaled ? 0 : 1;  // the scaled block's half
    constexpr int u = 1 - s;                 // the other's
    const __m256 dS = halves<s, s>(d, d);
    const __m256 offsetsS = _mm256_div_ps(_mm256_div_ps(halves<s, s>(f, l), dS), dS);
    const __m256 velocitiesS = _mm256_div_ps(halves<s, s>(vf, vl), dS);
    const __m256 velocitiesU = _mm256_div_ps(halves<u, u>(vf, vl), halves<u, u>(d, d));
    // Each term for both blocks, the first's in the low half.
    __m256 t0, t1, t2, t3;
    if constexpr (kFirstScaled) {
        t0 = halves<0, 1>(offsetsS, f);
        t1 = halves<1, 1>(offsetsS, l);
        t2 = halves<0, 0>(velocitiesS, velocitiesU);
        t3 = halves<1, 1>(velocitiesS, velocitiesU);
    } else {
        t0 = halves<0, 0>(f, offsetsS);
        t1 = halves<0, 1>(l, offsetsS);
        t2 = halves<0, 0>(velocitiesU, velocitiesS);
        t3 = halves<1, 1>(velocitiesU, velocitiesS);
    }
    static constexpr int kLanes[5] = {0x0, 0x1, 0x3, 0x7, 0xF};
    const int written = _mm256_movemask_ps(apart) &
                        (kLanes[first.count] | kLanes[second.count] << kNeighboursSensed);

    // Four by four transposes in each half: row k holds neighbour k's four terms of the
    // first block in its low half and of the second block in its high half.
    const __m256 t01Low = _mm256_unpacklo_ps(t0, t1);
    const __m256 t23Low = _mm256_unpacklo_ps(t2, t3);
    const __m256 t01High = _mm256_unpackhi_ps(t0, t1);
    const __m256 t23High = _mm256_unpackhi_ps(t2, t3);
    const __m256 rows[4] = {
        _mm256_shuffle_ps(t01Low, t23Low, 0x44), _mm256_shuffle_ps(t01Low, t23Low, 0xEE),
        _mm256_shuffle_ps(t01High, t23High, 0x44), _mm256_shuffle_ps(t01High, t23High, 0xEE)};
    for (int k = 0; k < 4; ++k) {
        if (written & (1 << k))
            _mm_storeu_ps(inputs + first.block + kTermsPerNeighbour * k,
                          _mm256_castps256_ps128(rows[k]));
        if (written & (1 << (4 + k)))
            _mm_storeu_ps(inputs + second.block + kTermsPerNeighbour * k,
                          _mm256_extractf128_ps(rows[k], 1));
    }
}

// The eight-lane terms of both blocks with the path's arithmetic in double. Blocks that
// are both scaled or both raw (the world step never asks for them) take the four-lane path.
template <class PackedFrame>
[[gnu::always_inline]] inline void writeEightNeighbours(float* inputs, const Agent& self,
                                                        const NeighbourBlock& first,
                                                        const NeighbourBlock& second,
                                                        const FrameRotation& frame) {
    if (first.scaled == second.scaled) writeNeighbourBlocksSse2(inputs, self, first, second, frame);
    else if (first.scaled) writeBothBlocks<true>(inputs, self, first, second, PackedFrame(frame));
    else writeBothBlocks<false>(inputs, self, first, second, PackedFrame(frame));
}

}  // namespace
}  // namespace kav
