#include <cmath>
#include <utility>

#include "sim/workspace.h"

namespace kav {

void SenseWorkspace::solveContact(float x1, float y1, float vx1, float vy1, float x2, float y2,
                                  float vx2, float vy2, float sumOfRadii) {
    const double dx = double(x1) - x2;
    const double dy = double(y1) - y2;
    const double dvx = double(vx1) - vx2;
    const double dvy = double(vy1) - vy2;
    const float a = static_cast<float>(dvx * dvx + dvy * dvy);
    const float b = static_cast<float>(2.0 * (dx * dvx + dy * dvy));
    const float c = static_cast<float>(dx * dx + dy * dy - double(sumOfRadii) * sumOfRadii);
    const float d = static_cast<float>(double(b) * b - 4.0 * double(a) * c);
    if (d < 0.0f || std::isnan(d)) return;
    const double s = std::sqrt(double(d));
    const float root1 = static_cast<float>((-double(b) - s) / (2.0 * double(a)));
    const float root2 = static_cast<float>((-double(b) + s) / (2.0 * double(a)));
    // Touch within the tick, or already overlapping at its start. Equal velocities give
    // a = 0 and roots that are not numbers, which no comparison accepts.
    const bool touchesInTick = root1 >= 0.0f && root1 <= 1.0f;
    const bool overlapsAtStart = root1 < 0.0f && root2 >= 0.0f;
    if (touchesInTick || overlapsAtStart) {
        contactFound = 1;
        t1 = root1;
        t2 = root2;
    }
}

void SenseWorkspace::testPair(int predatorSlot, int preySlot) {
    const Agent& p = predators[predatorSlot];
    const Agent& q = prey[preySlot];
    contactFound = 0;
    const float sumOfRadii = q.radius + p.radius;

    // Runs one contact test and keeps the earliest first root of all accepted ones.
    auto test = [&](float qx, float qy, float qvx, float qvy) {
        if (!contactFound) {
            solveContact(p.x, p.y, p.vx, p.vy, qx, qy, qvx, qvy, sumOfRadii);
            return;
        }
        const float keptT1 = t1;
        const float keptT2 = t2;
        solveContact(p.x, p.y, p.vx, p.vy, qx, qy, qvx, qvy, sumOfRadii);
        if (keptT1 < t1) {
            t1 = keptT1;
            t2 = keptT2;
        }
    };
    // The Prey's image across a wall stands for either party's reflected path.
    auto testImages = [&](const Agent& flags) {
        if (flags.hitLeft)
            test(static_cast<float>(2.0 * flags.xMin - q.x), q.y, -q.vx, q.vy);
        if (flags.hitRight)
            test(static_cast<float>(2.0 * flags.xMax - q.x), q.y, -q.vx, q.vy);
        if (flags.hitTop)
            test(q.x, static_cast<float>(2.0 * flags.yMax - q.y), q.vx, -q.vy);
        if (flags.hitBottom)
            test(q.x, static_cast<float>(2.0 * flags.yMin - q.y), q.vx, -q.vy);
    };
    if (p.hitWall) testImages(p);
    if (q.hitWall) testImages(q);
    test(q.x, q.y, q.vx, q.vy);

    if (contactFound) {
        captures[captureCount] = CaptureEvent{predatorSlot, preySlot, t1};
        captureCount += 1;
    }
}

void SenseWorkspace::sortCaptureList(int firstUnsorted) {
    for (int j = firstUnsorted < 1 ? 1 : firstUnsorted; j < captureCount; ++j) {
        for (int k = j; k >= 1; --k) {
            if (captures[k - 1].time < captures[k].time) break;
            std::swap(captures[k - 1], captures[k]);
            // Equal times end in either order with equal chance.
            if (captures[k - 1].time == captures[k].time && random->next() < 16384)
                std::swap(captures[k - 1], captures[k]);
        }
    }
}

void SenseWorkspace::applyCapture(int predatorSlot, int preySlot, float time) {
    Agent& p = predators[predatorSlot];
    p.captured = 1;
    p.contactTime = time;
    p.catches += 1;
    p.ticksSinceCatch = 0;
    p.digestTimer = 0;
    p.dead = 0;
    p.nextX = static_cast<float>(double(p.x) + double(time) * p.vx);
    p.nextY = static_cast<float>(double(p.y) + double(time) * p.vy);
    p.nextVx = 0.0f;
    p.nextVy = 0.0f;

    Agent& q = prey[preySlot];
    q.captured = 1;
    q.contactTime = time;
}

float sweptLowerBound(float own, float predatorRadius, float preyRadius, float margin,
                      float velocity) {
    const double negative = velocity < 0.0f ? velocity : 0.0f;
    return static_cast<float>(double(own) - predatorRadius - preyRadius - margin + negative);
}

float sweptUpperBound(float own, float predatorRadius, float preyRadius, float margin,
                      float velocity) {
    const double positive = velocity < 0.0f ? 0.0f : velocity;
    return static_cast<float>(double(own) + predatorRadius + preyRadius + margin + positive);
}

namespace {

// One axis of a Predator's broad-phase window over a sorted Prey index: the positions
// lo..hi-1 whose start coordinate lies within reach of the Predator's swept disc.
template <typename Coordinate>
int sweptWindow(const Agent& predator, const Agent* prey, const std::int32_t* index, int count,
                Coordinate coordinate, float own, float velocity, float margin,
                std::int32_t* out) {
    int pos = 0;
    while (pos < count) {
        const Agent& q = prey[index[pos]];
        const float lower = sweptLowerBound(own, predator.radius, q.radius, margin, velocity);
        if (!(coordinate(q) < lower)) break;
        ++pos;
    }
    const int lo = pos;
    while (pos < count) {
        const Agent& q = prey[index[pos]];
        const float upper = sweptUpperBound(own, predator.radius, q.radius, margin, velocity);
        if (!(coordinate(q) < upper)) break;
        ++pos;
    }
    for (int k = lo; k < pos; ++k) out[k - lo] = index[k];
    return pos - lo;
}

}  // namespace

void SenseWorkspace::detectCaptures() {
    captureCount = 0;
    for (int i = 0; i < predatorCount; ++i) {
        const Agent& p = predators[i];
        if (p.digestTimer < 0) {
            const int xCount = sweptWindow(p, prey, preyByX.data(), preyCount,
                                           [](const Agent& q) { return q.x; }, p.x, p.vx,
                                           maxPreyVx, candX.data());
            const int yCount =
                xCount == 0 ? 0
                            : sweptWindow(p, prey, preyByY.data(), preyCount,
                                          [](const Agent& q) { return q.y; }, p.y, p.vy,
                                          maxPreyVy, candY.data());
            for (int u = 0; u < xCount && yCount > 0; ++u)
                for (int w = 0; w < yCount; ++w)
                    if (candX[u] == candY[w] && !prey[candX[u]].captured) testPair(i, candX[u]);
        }
        sortCaptureList();
        for (int e = 0; e < captureCount; ++e) {
            const CaptureEvent event = captures[e];
            if (!predators[event.predatorSlot].captured && !prey[event.preySlot].captured)
                applyCapture(event.predatorSlot, event.preySlot, event.time);
        }
    }
}

}  // namespace kav
