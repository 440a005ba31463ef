#include "sim/capture.h"

#include <cmath>
#include <utility>

#include "sim/check.h"

namespace kav {

Contact solveContact(float x1, float y1, float vx1, float vy1, float x2, float y2, float vx2,
                     float vy2, float sumOfRadii) {
    const double dx = double(x1) - x2;
    const double dy = double(y1) - y2;
    const double dvx = double(vx1) - vx2;
    const double dvy = double(vy1) - vy2;
    const float a = static_cast<float>(dvx * dvx + dvy * dvy);
    const float b = static_cast<float>(2.0 * (dx * dvx + dy * dvy));
    const float c = static_cast<float>(dx * dx + dy * dy - double(sumOfRadii) * sumOfRadii);
    const float d = static_cast<float>(double(b) * b - 4.0 * double(a) * c);
    if (d < 0.0f || std::isnan(d)) return {};
    const double s = std::sqrt(double(d));
    const float root1 = static_cast<float>((-double(b) - s) / (2.0 * double(a)));
    const float root2 = static_cast<float>((-double(b) + s) / (2.0 * double(a)));
    // Touch within the tick, or already overlapping at its start. Equal velocities give
    // a = 0 and roots that are not numbers, which no comparison accepts.
    const bool touchesInTick = root1 >= 0.0f && root1 <= 1.0f;
    const bool overlapsAtStart = root1 < 0.0f && root2 >= 0.0f;
    if (touchesInTick || overlapsAtStart) return {true, root1, root2};
    return {};
}

Contact contactOfPair(const Agent& p, const Agent& q, const Arena& arena) {
    const float sumOfRadii = q.radius + p.radius;
    Contact earliest;
    // Keeps the earliest first time of all contacts found; of equal ones, the later test.
    auto test = [&](float qx, float qy, float qvx, float qvy) {
        const Contact contact = solveContact(p.x, p.y, p.vx, p.vy, qx, qy, qvx, qvy, sumOfRadii);
        if (contact.found && !(earliest.found && earliest.t1 < contact.t1)) earliest = contact;
    };
    // The Prey's image across a wall stands for either party's reflected path.
    auto testImages = [&](const Agent& flags) {
        if (flags.hitLeft) test(static_cast<float>(2.0 * arena.xMin - q.x), q.y, -q.vx, q.vy);
        if (flags.hitRight) test(static_cast<float>(2.0 * arena.xMax - q.x), q.y, -q.vx, q.vy);
        if (flags.hitTop) test(q.x, static_cast<float>(2.0 * arena.yMax - q.y), q.vx, -q.vy);
        if (flags.hitBottom) test(q.x, static_cast<float>(2.0 * arena.yMin - q.y), q.vx, -q.vy);
    };
    if (p.hitWall) testImages(p);
    if (q.hitWall) testImages(q);
    test(q.x, q.y, q.vx, q.vy);
    return earliest;
}

void applyCapture(Agent& p, Agent& q, float time) {
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

    q.captured = 1;
    q.contactTime = time;
}

void CaptureList::add(const CaptureEvent& event) {
    KAV_CHECK(count < kMaxCaptures, "one event per Predator and Prey pair at most");
    events[count] = event;
    count += 1;
}

void CaptureList::sort(Random& random, int firstUnsorted) {
    for (int j = firstUnsorted < 1 ? 1 : firstUnsorted; j < count; ++j) {
        for (int k = j; k >= 1; --k) {
            if (events[k - 1].time < events[k].time) break;
            std::swap(events[k - 1], events[k]);
            // Equal times end in either order with equal chance.
            if (events[k - 1].time == events[k].time && random.next() < 16384)
                std::swap(events[k - 1], events[k]);
        }
    }
}

int CaptureList::ascendingPrefix() const {
    if (count == 0) return 0;
    int ascending = 1;
    while (ascending < count && events[ascending - 1].time < events[ascending].time) ++ascending;
    return ascending;
}

void CaptureList::apply(Agent* predators, Agent* prey) const {
    for (int e = 0; e < count; ++e) {
        const CaptureEvent event = events[e];
        if (!predators[event.predatorSlot].captured && !prey[event.preySlot].captured)
            applyCapture(predators[event.predatorSlot], prey[event.preySlot], event.time);
    }
}

}  // namespace kav
