// The neighbour terms of both blocks at once, eight neighbours per instruction. Compiled
// with AVX2 enabled; called only on machines that run it.
#include <immintrin.h>

#include "sim/sensing_terms.h"

namespace kav {
namespace {

// Eight floats to double, four lanes at a time, and back.
struct Wide {
    __m256d low, high;
};
Wide widen(__m256 v) {
    return {_mm256_cvtps_pd(_mm256_castps256_ps128(v)),
            _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1))};
}
__m256 narrow(__m256d low, __m256d high) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(low)), _mm256_cvtpd_ps(high),
                                1);
}

// FrameRotation::forward and ::left, eight vectors at a time.
struct PackedFrame {
    __m256d cosNeg, sinNeg;
    explicit PackedFrame(const FrameRotation& frame)
        : cosNeg(_mm256_set1_pd(double(frame.cosNeg))),
          sinNeg(_mm256_set1_pd(double(frame.sinNeg))) {}
    __m256 forward(__m256 px, __m256 py) const {
        const Wide x = widen(px);
        const Wide y = widen(py);
        return narrow(_mm256_sub_pd(_mm256_mul_pd(cosNeg, x.low), _mm256_mul_pd(sinNeg, y.low)),
                      _mm256_sub_pd(_mm256_mul_pd(cosNeg, x.high), _mm256_mul_pd(sinNeg, y.high)));
    }
    __m256 left(__m256 px, __m256 py) const {
        const Wide x = widen(px);
        const Wide y = widen(py);
        return narrow(_mm256_add_pd(_mm256_mul_pd(sinNeg, x.low), _mm256_mul_pd(cosNeg, y.low)),
                      _mm256_add_pd(_mm256_mul_pd(sinNeg, x.high), _mm256_mul_pd(cosNeg, y.high)));
    }
};

// The length of eight (forward, left) pairs, as sensing's length computes one.
__m256 packedLength(__m256 f, __m256 l) {
    const Wide wf = widen(f);
    const Wide wl = widen(l);
    return narrow(
        _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(wf.low, wf.low), _mm256_mul_pd(wl.low, wl.low))),
        _mm256_sqrt_pd(
            _mm256_add_pd(_mm256_mul_pd(wf.high, wf.high), _mm256_mul_pd(wl.high, wl.high))));
}

}  // namespace

void writeNeighbourBlocksAvx2(float* inputs, const Agent& self, const NeighbourBlock& first,
                              const NeighbourBlock& second, const FrameRotation& frame) {
    // Lanes 0 to 3 hold the first block's neighbours and lanes 4 to 7 the second's. Lanes
    // without a neighbour compute on the Agent itself and are not written. The fields are
    // gathered in registers (a vector load of separate stores would wait for them to reach
    // the cache).
    const Agent* other[8];
    for (int k = 0; k < 4; ++k) {
        other[k] = k < first.count ? first.neighbours[k] : &self;
        other[4 + k] = k < second.count ? second.neighbours[k] : &self;
    }
    auto gather = [&](float Agent::*field) {
        return _mm256_setr_ps(other[0]->*field, other[1]->*field, other[2]->*field,
                              other[3]->*field, other[4]->*field, other[5]->*field,
                              other[6]->*field, other[7]->*field);
    };
    const PackedFrame packed(frame);
    const __m256 dx = _mm256_sub_ps(gather(&Agent::x), _mm256_set1_ps(self.x));
    const __m256 dy = _mm256_sub_ps(gather(&Agent::y), _mm256_set1_ps(self.y));
    const __m256 f = packed.forward(dx, dy);
    const __m256 l = packed.left(dx, dy);
    const __m256 d = packedLength(f, l);
    const __m256 apart = _mm256_cmp_ps(
        d, _mm256_add_ps(_mm256_set1_ps(self.radius), gather(&Agent::radius)), _CMP_GT_OQ);
    const __m256 dvx = _mm256_sub_ps(gather(&Agent::vx), _mm256_set1_ps(self.vx));
    const __m256 dvy = _mm256_sub_ps(gather(&Agent::vy), _mm256_set1_ps(self.vy));
    const int firstScaled = first.scaled ? -1 : 0;
    const int secondScaled = second.scaled ? -1 : 0;
    const __m256 scaled = _mm256_castsi256_ps(
        _mm256_setr_epi32(firstScaled, firstScaled, firstScaled, firstScaled, secondScaled,
                          secondScaled, secondScaled, secondScaled));
    const __m256 t0 = _mm256_blendv_ps(f, _mm256_div_ps(_mm256_div_ps(f, d), d), scaled);
    const __m256 t1 = _mm256_blendv_ps(l, _mm256_div_ps(_mm256_div_ps(l, d), d), scaled);
    const __m256 t2 = _mm256_div_ps(packed.forward(dvx, dvy), d);
    const __m256 t3 = _mm256_div_ps(packed.left(dvx, dvy), d);
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

}  // namespace kav
