#pragma once
// The narrower paths' nearest search, four entries of a row of cells (or of an x index) at a
// time: their squared distances dx * dx + dy * dy and the window test, each entry with the
// single-precision operations of one entry at a time. The kernels of the one-lane and SSE2
// units compute them (sim/candidate_kernel.h).
namespace kav {

constexpr int kCandidatesAtOnce = 4;

struct CandidateWindow {
    float selfX, selfY;
    float xLow, xHigh, yLow, yHigh;  // x in [xLow, xHigh) and y in [yLow, yHigh)
};

// Of the first `left` of the four entries at x4 and y4 (four are read), those in the window
// no farther than `gate`, as bits; the four squared distances to `distances`.
int candidatesScalar(const CandidateWindow& window, const float* x4, const float* y4, int left,
                     float gate, float* distances);
int candidatesSse2(const CandidateWindow& window, const float* x4, const float* y4, int left,
                   float gate, float* distances);

}  // namespace kav
