// The neighbour terms of both blocks at once, eight neighbours per instruction, the
// doubles four per register. Compiled with AVX2 enabled; called only on machines that run
// it.
#include <immintrin.h>

#include "sim/sensing_kernel.h"

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

// FrameRotation::forward and ::left, and sensing's length, of eight vectors at a time.
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
    __m256 length(__m256 f, __m256 l) const {
        const Wide wf = widen(f);
        const Wide wl = widen(l);
        return narrow(_mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(wf.low, wf.low),
                                                   _mm256_mul_pd(wl.low, wl.low))),
                      _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(wf.high, wf.high),
                                                   _mm256_mul_pd(wl.high, wl.high))));
    }
};

}  // namespace

void writeNeighbourBlocksAvx2(float* inputs, const Agent& self, const NeighbourBlock& first,
                              const NeighbourBlock& second, const FrameRotation& frame) {
    writeEightNeighbours<PackedFrame>(inputs, self, first, second, frame);
}

}  // namespace kav
