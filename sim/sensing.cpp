#include "sim/sensing.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kav {

float FrameRotation::forward(float px, float py) const {
    return static_cast<float>(double(cosNeg) * px - double(sinNeg) * py);
}

float FrameRotation::left(float px, float py) const {
    return static_cast<float>(double(sinNeg) * px + double(cosNeg) * py);
}

namespace {

float length(float f, float l) {
    return static_cast<float>(std::sqrt(double(f) * f + double(l) * l));
}

}  // namespace

void writeNeighbourTerms(InputVector& inputs, int at, const Agent& self, const Agent& other,
                         const FrameRotation& frame, bool scaled) {
    const float dx = other.x - self.x;
    const float dy = other.y - self.y;
    const float f = frame.forward(dx, dy);
    const float l = frame.left(dx, dy);
    const float d = length(f, l);
    if (!(d > self.radius + other.radius)) return;
    if (scaled) {
        inputs[at] = f / d / d;
        inputs[at + 1] = l / d / d;
    } else {
        inputs[at] = f;
        inputs[at + 1] = l;
    }
    const float dvx = other.vx - self.vx;
    const float dvy = other.vy - self.vy;
    inputs[at + 2] = frame.forward(dvx, dvy) / d;
    inputs[at + 3] = frame.left(dvx, dvy) / d;
}

#if defined(__SSE2__)
namespace {

// Four floats to double, two lanes at a time, and back.
struct Wide {
    __m128d low, high;
};
Wide widen(__m128 v) { return {_mm_cvtps_pd(v), _mm_cvtps_pd(_mm_movehl_ps(v, v))}; }
__m128 narrow(const Wide& w) { return _mm_movelh_ps(_mm_cvtpd_ps(w.low), _mm_cvtpd_ps(w.high)); }

// FrameRotation::forward and ::left, four vectors at a time.
struct PackedFrame {
    __m128d cosNeg, sinNeg;
    explicit PackedFrame(const FrameRotation& frame)
        : cosNeg(_mm_set1_pd(double(frame.cosNeg))), sinNeg(_mm_set1_pd(double(frame.sinNeg))) {}
    __m128 forward(__m128 px, __m128 py) const {
        const Wide x = widen(px);
        const Wide y = widen(py);
        return narrow({_mm_sub_pd(_mm_mul_pd(cosNeg, x.low), _mm_mul_pd(sinNeg, y.low)),
                       _mm_sub_pd(_mm_mul_pd(cosNeg, x.high), _mm_mul_pd(sinNeg, y.high))});
    }
    __m128 left(__m128 px, __m128 py) const {
        const Wide x = widen(px);
        const Wide y = widen(py);
        return narrow({_mm_add_pd(_mm_mul_pd(sinNeg, x.low), _mm_mul_pd(cosNeg, y.low)),
                       _mm_add_pd(_mm_mul_pd(sinNeg, x.high), _mm_mul_pd(cosNeg, y.high))});
    }
};

// length(f, l) of four pairs.
__m128 packedLength(__m128 f, __m128 l) {
    const Wide wf = widen(f);
    const Wide wl = widen(l);
    return narrow(
        {_mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(wf.low, wf.low), _mm_mul_pd(wl.low, wl.low))),
         _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(wf.high, wf.high), _mm_mul_pd(wl.high, wl.high)))});
}

}  // namespace

namespace {

// One block's four terms per neighbour, as four vectors of one term each (lanes are
// neighbours), and the lanes to write.
struct BlockTerms {
    __m128 term[4];
    int written;
};

[[gnu::always_inline]] inline BlockTerms blockTerms(const Agent& self, const NeighbourBlock& nb,
                                                    const PackedFrame& packed) {
    // Lanes without a neighbour compute on the Agent itself and are not written. The
    // fields are gathered in registers (a vector load of four separate stores would wait
    // for them to reach the cache).
    const Agent* other[4];
    for (int k = 0; k < 4; ++k) other[k] = k < nb.count ? nb.neighbours[k] : &self;
    auto gather = [&](float Agent::*field) {
        return _mm_setr_ps(other[0]->*field, other[1]->*field, other[2]->*field, other[3]->*field);
    };
    const __m128 dx = _mm_sub_ps(gather(&Agent::x), _mm_set1_ps(self.x));
    const __m128 dy = _mm_sub_ps(gather(&Agent::y), _mm_set1_ps(self.y));
    const __m128 f = packed.forward(dx, dy);
    const __m128 l = packed.left(dx, dy);
    const __m128 d = packedLength(f, l);
    const __m128 apart =
        _mm_cmpgt_ps(d, _mm_add_ps(_mm_set1_ps(self.radius), gather(&Agent::radius)));
    const __m128 dvx = _mm_sub_ps(gather(&Agent::vx), _mm_set1_ps(self.vx));
    const __m128 dvy = _mm_sub_ps(gather(&Agent::vy), _mm_set1_ps(self.vy));
    static constexpr int kLanes[5] = {0x0, 0x1, 0x3, 0x7, 0xF};
    return {{nb.scaled ? _mm_div_ps(_mm_div_ps(f, d), d) : f,
             nb.scaled ? _mm_div_ps(_mm_div_ps(l, d), d) : l,
             _mm_div_ps(packed.forward(dvx, dvy), d), _mm_div_ps(packed.left(dvx, dvy), d)},
            _mm_movemask_ps(apart) & kLanes[nb.count]};
}

// Writes each neighbour's four terms, in the order of the neighbours.
[[gnu::always_inline]] inline void storeBlock(InputVector& inputs, int block, BlockTerms t) {
    _MM_TRANSPOSE4_PS(t.term[0], t.term[1], t.term[2], t.term[3]);
    float* out = inputs.data() + block;
    for (int k = 0; k < 4; ++k)
        if (t.written & (1 << k)) _mm_storeu_ps(out + kTermsPerNeighbour * k, t.term[k]);
}

}  // namespace

void writeNeighbourBlocks(InputVector& inputs, const Agent& self, const NeighbourBlock& first,
                          const NeighbourBlock& second, const FrameRotation& frame) {
    const PackedFrame packed(frame);
    const BlockTerms a = blockTerms(self, first, packed);
    const BlockTerms b = blockTerms(self, second, packed);
    storeBlock(inputs, first.block, a);
    storeBlock(inputs, second.block, b);
}

void senseWallsPacked(InputVector& inputs, const Agent& self, const Arena& arena,
                      const FrameRotation& frame) {
    const float s = self.senseRange;
    // Lanes: left, right, bottom, top wall, as senseWalls orders them.
    const float nearX = self.x - s;
    const float farX = self.x + s;
    const float nearY = self.y - s;
    const float farY = self.y + s;
    const int inRange = int(arena.xMin > nearX) | int(arena.xMax < farX) << 1 |
                        int(arena.yMin > nearY) << 2 | int(arena.yMax < farY) << 3;
    if (inRange == 0) return;
    const PackedFrame packed(frame);
    const __m128 px = _mm_setr_ps(arena.xMin - self.x, arena.xMax - self.x, 0.0f, 0.0f);
    const __m128 py = _mm_setr_ps(0.0f, 0.0f, arena.yMin - self.y, arena.yMax - self.y);
    const __m128 wvx = _mm_setr_ps(self.vx, -self.vx, 0.0f, 0.0f);
    const __m128 wvy = _mm_setr_ps(0.0f, 0.0f, self.vy, -self.vy);
    const __m128 f = packed.forward(px, py);
    const __m128 l = packed.left(px, py);
    const __m128 d = packedLength(f, l);
    const int written = inRange & _mm_movemask_ps(_mm_cmpgt_ps(d, _mm_set1_ps(0.001f)));
    if (written == 0) return;
    const __m128 vf = packed.forward(wvx, wvy);
    const __m128 vl = packed.left(wvx, wvy);
    // The left wall's velocity term is not divided by the distance.
    const __m128 divided = _mm_castsi128_ps(_mm_setr_epi32(0, -1, -1, -1));
    __m128 term0 = _mm_div_ps(_mm_div_ps(f, d), d);
    __m128 term1 = _mm_div_ps(_mm_div_ps(l, d), d);
    __m128 term2 = _mm_or_ps(_mm_and_ps(divided, _mm_div_ps(vf, d)), _mm_andnot_ps(divided, vf));
    __m128 term3 = _mm_or_ps(_mm_and_ps(divided, _mm_div_ps(vl, d)), _mm_andnot_ps(divided, vl));
    _MM_TRANSPOSE4_PS(term0, term1, term2, term3);
    float* out = inputs.data();
    if (written & 1) _mm_storeu_ps(out + kXWallBlock, term0);
    if (written & 2) _mm_storeu_ps(out + kXWallBlock, term1);
    if (written & 4) _mm_storeu_ps(out + kYWallBlock, term2);
    if (written & 8) _mm_storeu_ps(out + kYWallBlock, term3);
}
#else
void senseWallsPacked(InputVector& inputs, const Agent& self, const Arena& arena,
                      const FrameRotation& frame) {
    senseWalls(inputs, self, arena, frame);
}

void writeNeighbourBlocks(InputVector& inputs, const Agent& self, const NeighbourBlock& first,
                          const NeighbourBlock& second, const FrameRotation& frame) {
    for (const NeighbourBlock* nb : {&first, &second})
        for (int k = 0; k < nb->count; ++k)
            writeNeighbourTerms(inputs, nb->block + kTermsPerNeighbour * k, self,
                                *nb->neighbours[k], frame, nb->scaled);
}
#endif

void senseWalls(InputVector& inputs, const Agent& self, const Arena& arena,
                const FrameRotation& frame) {
    const float s = self.senseRange;
    struct Wall {
        bool inRange;
        float px, py;    // offset from the Agent to the wall
        float wvx, wvy;  // velocity term before rotation
        bool divideVelocity;
        int block;
    };
    const Wall walls[4] = {
        {arena.xMin > self.x - s, arena.xMin - self.x, 0.0f, self.vx, 0.0f, false, kXWallBlock},
        {arena.xMax < self.x + s, arena.xMax - self.x, 0.0f, -self.vx, 0.0f, true, kXWallBlock},
        {arena.yMin > self.y - s, 0.0f, arena.yMin - self.y, 0.0f, self.vy, true, kYWallBlock},
        {arena.yMax < self.y + s, 0.0f, arena.yMax - self.y, 0.0f, -self.vy, true, kYWallBlock},
    };
    for (const Wall& wall : walls) {
        if (!wall.inRange) continue;
        const float f = frame.forward(wall.px, wall.py);
        const float l = frame.left(wall.px, wall.py);
        const float d = length(f, l);
        if (!(d > 0.001f)) continue;
        inputs[wall.block] = f / d / d;
        inputs[wall.block + 1] = l / d / d;
        const float vf = frame.forward(wall.wvx, wall.wvy);
        const float vl = frame.left(wall.wvx, wall.wvy);
        inputs[wall.block + 2] = wall.divideVelocity ? vf / d : vf;
        inputs[wall.block + 3] = wall.divideVelocity ? vl / d : vl;
    }
}

}  // namespace kav
