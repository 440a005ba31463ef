// The neighbour terms of both blocks at once, eight neighbours per instruction, the
// doubles eight per register. Compiled with AVX-512 enabled; called only on machines that
// run it.
//
// GCC 12 takes the undefined source of its own conversions and square roots for an
// uninitialised value; the warning is kept for this file's code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#include "sim/sensing_kernel.h"

namespace kav {
namespace {

// FrameRotation::forward and ::left, and sensing's length, of eight vectors at a time.
struct PackedFrame {
    __m512d cosNeg, sinNeg;
    explicit PackedFrame(const FrameRotation& frame)
        : cosNeg(_mm512_set1_pd(double(frame.cosNeg))),
          sinNeg(_mm512_set1_pd(double(frame.sinNeg))) {}
    __m256 forward(__m256 px, __m256 py) const {
        const __m512d x = _mm512_cvtps_pd(px);
        const __m512d y = _mm512_cvtps_pd(py);
        return _mm512_cvtpd_ps(_mm512_sub_pd(_mm512_mul_pd(cosNeg, x), _mm512_mul_pd(sinNeg, y)));
    }
    __m256 left(__m256 px, __m256 py) const {
        const __m512d x = _mm512_cvtps_pd(px);
        const __m512d y = _mm512_cvtps_pd(py);
        return _mm512_cvtpd_ps(_mm512_add_pd(_mm512_mul_pd(sinNeg, x), _mm512_mul_pd(cosNeg, y)));
    }
    __m256 length(__m256 f, __m256 l) const {
        const __m512d wf = _mm512_cvtps_pd(f);
        const __m512d wl = _mm512_cvtps_pd(l);
        return _mm512_cvtpd_ps(
            _mm512_sqrt_pd(_mm512_add_pd(_mm512_mul_pd(wf, wf), _mm512_mul_pd(wl, wl))));
    }
};

}  // namespace

void writeNeighbourBlocksAvx512(float* inputs, const Agent& self, const NeighbourBlock& first,
                                const NeighbourBlock& second, const FrameRotation& frame) {
    writeEightNeighbours<PackedFrame>(inputs, self, first, second, frame);
}

}  // namespace kav
