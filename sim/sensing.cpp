#include <cmath>

#include "sim/workspace.h"

namespace kav {

FrameRotation::FrameRotation(float heading) {
    const float negated = -heading;
    cosNeg = static_cast<float>(std::cos(double(negated)));
    sinNeg = static_cast<float>(std::sin(double(negated)));
}

float FrameRotation::forward(float px, float py) const {
    return static_cast<float>(double(cosNeg) * px - double(sinNeg) * py);
}

float FrameRotation::left(float px, float py) const {
    return static_cast<float>(double(sinNeg) * px + double(cosNeg) * py);
}

namespace {

// Insertion sort of slots 0..count-1 by a coordinate, starting from slot order, so
// equal coordinates keep ascending slot order.
template <typename Key>
void insertionSortSlots(std::int32_t* index, int count, Key key) {
    for (int i = 0; i < count; ++i) {
        index[i] = i;
        for (int p = i; p > 0 && key(index[p - 1]) > key(index[p]); --p) {
            std::int32_t held = index[p - 1];
            index[p - 1] = index[p];
            index[p] = held;
        }
    }
}

float squaredDistance(const Agent& a, const Agent& b) {
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    return dx * dx + dy * dy;
}

float length(float f, float l) {
    return static_cast<float>(std::sqrt(double(f) * f + double(l) * l));
}

}  // namespace

void SenseWorkspace::sortIndexes() {
    insertionSortSlots(predatorsByX.data(), predatorCount, [&](int s) { return predators[s].x; });
    insertionSortSlots(predatorsByY.data(), predatorCount, [&](int s) { return predators[s].y; });
    maxPreyVx = 0.0f;
    maxPreyVy = 0.0f;
    for (int i = 0; i < preyCount; ++i) {
        if (std::fabs(prey[i].vx) > maxPreyVx) maxPreyVx = std::fabs(prey[i].vx);
        if (std::fabs(prey[i].vy) > maxPreyVy) maxPreyVy = std::fabs(prey[i].vy);
    }
    insertionSortSlots(preyByX.data(), preyCount, [&](int s) { return prey[s].x; });
    insertionSortSlots(preyByY.data(), preyCount, [&](int s) { return prey[s].y; });
}

void SenseWorkspace::queryNeighbours(const Agent& self, const QueryPopulation& population,
                                     float halfWidth, int block, bool scaled) {
    const Agent* agents = population.agents;
    const int count = population.count;

    // Square window: every Agent with self.x - r <= x < self.x + r, likewise for y.
    const float xLow = self.x - halfWidth;
    const float xHigh = self.x + halfWidth;
    int lo = 0;
    while (lo < count && agents[population.byX[lo]].x < xLow) ++lo;
    int hi = lo;
    while (hi < count && agents[population.byX[hi]].x < xHigh) ++hi;
    if (hi == lo) return;
    const int xCount = hi - lo;
    for (int k = 0; k < xCount; ++k) candX[k] = population.byX[lo + k];

    const float yLow = self.y - halfWidth;
    const float yHigh = self.y + halfWidth;
    lo = 0;
    while (lo < count && agents[population.byY[lo]].y < yLow) ++lo;
    hi = lo;
    while (hi < count && agents[population.byY[hi]].y < yHigh) ++hi;
    if (hi == lo) return;
    const int yCount = hi - lo;
    for (int k = 0; k < yCount; ++k) candY[k] = population.byY[lo + k];

    int m = 0;
    for (int i = 0; i < xCount; ++i)
        for (int j = 0; j < yCount; ++j)
            if (candX[i] == candY[j]) near[m++] = candX[i];
    if (m == 0) return;

    for (int i = 1; i < m; ++i) {
        for (int p = i; p > 0 && squaredDistance(self, agents[near[p - 1]]) >
                                     squaredDistance(self, agents[near[p]]);
             --p) {
            std::int32_t held = near[p - 1];
            near[p - 1] = near[p];
            near[p] = held;
        }
    }

    const int first = (&agents[near[0]] == &self) ? 1 : 0;
    const FrameRotation frame(self.heading);
    for (int k = 0; k < 4 && first + k < m; ++k) {
        const Agent& other = agents[near[first + k]];
        writeNeighbourTerms(self, other, frame, block + 4 * k, scaled);
    }
}

void SenseWorkspace::writeNeighbourTerms(const Agent& self, const Agent& other,
                                         const FrameRotation& frame, int slot, bool scaled) {
    const float dx = other.x - self.x;
    const float dy = other.y - self.y;
    const float f = frame.forward(dx, dy);
    const float l = frame.left(dx, dy);
    const float d = length(f, l);
    if (!(d > self.radius + other.radius)) return;
    if (scaled) {
        inputs[slot] = f / d / d;
        inputs[slot + 1] = l / d / d;
    } else {
        inputs[slot] = f;
        inputs[slot + 1] = l;
    }
    const float dvx = other.vx - self.vx;
    const float dvy = other.vy - self.vy;
    inputs[slot + 2] = frame.forward(dvx, dvy) / d;
    inputs[slot + 3] = frame.left(dvx, dvy) / d;
}

void SenseWorkspace::senseWalls(const Agent& self) {
    senseWalls(self, FrameRotation(self.heading));
}

void SenseWorkspace::senseWalls(const Agent& self, const FrameRotation& frame) {
    const float s = self.senseRange;
    struct Wall {
        bool inRange;
        float px, py;     // offset from the Agent to the wall
        float wvx, wvy;   // velocity term before rotation
        bool divideVelocity;
        int slot;
    };
    const Wall walls[4] = {
        {self.xMin > self.x - s, self.xMin - self.x, 0.0f, self.vx, 0.0f, false, 32},
        {self.xMax < self.x + s, self.xMax - self.x, 0.0f, -self.vx, 0.0f, true, 32},
        {self.yMin > self.y - s, 0.0f, self.yMin - self.y, 0.0f, self.vy, true, 36},
        {self.yMax < self.y + s, 0.0f, self.yMax - self.y, 0.0f, -self.vy, true, 36},
    };
    for (const Wall& wall : walls) {
        if (!wall.inRange) continue;
        const float f = frame.forward(wall.px, wall.py);
        const float l = frame.left(wall.px, wall.py);
        const float d = length(f, l);
        if (!(d > 0.001f)) continue;
        inputs[wall.slot] = f / d / d;
        inputs[wall.slot + 1] = l / d / d;
        const float vf = frame.forward(wall.wvx, wall.wvy);
        const float vl = frame.left(wall.wvx, wall.wvy);
        inputs[wall.slot + 2] = wall.divideVelocity ? vf / d : vf;
        inputs[wall.slot + 3] = wall.divideVelocity ? vl / d : vl;
    }
}

void SenseWorkspace::sense(const Agent& self) {
    inputs.fill(0.0f);
    const bool predator = self.isPredator != 0;
    queryNeighbours(self, {prey, preyCount, preyByX.data(), preyByY.data()}, self.senseRange, 0,
                    predator);
    queryNeighbours(self,
                    {predators, predatorCount, predatorsByX.data(), predatorsByY.data()},
                    predator ? kPredatorPeerWindow : self.senseRange, 16, !predator);
    senseWalls(self);
}

}  // namespace kav
