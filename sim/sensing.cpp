#include "sim/sensing.h"

#include <cmath>

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
        if (!(d > kWallSensedBeyond)) continue;
        inputs[wall.block] = f / d / d;
        inputs[wall.block + 1] = l / d / d;
        const float vf = frame.forward(wall.wvx, wall.wvy);
        const float vl = frame.left(wall.wvx, wall.wvy);
        inputs[wall.block + 2] = wall.divideVelocity ? vf / d : vf;
        inputs[wall.block + 3] = wall.divideVelocity ? vl / d : vl;
    }
}

}  // namespace kav
