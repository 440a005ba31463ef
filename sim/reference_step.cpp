#include "sim/reference_step.h"

#include <cmath>

namespace kav {

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

// One axis of a Predator's broad-phase window over a sorted Prey index: the positions
// lo..hi-1 whose start coordinate lies within reach of the Predator's swept disc.
template <typename Coordinate>
int sweptWindow(const Agent& predator, const Agent* prey, const std::int32_t* index, int count,
                Coordinate coordinate, float own, float velocity, float margin, std::int32_t* out) {
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

void ReferenceStep::run(const WorldView& world, AgentReadings& readings, CaptureList& captures,
                        StepObserver* observer) {
    sortIndexes(world);
    if (observer) observer->phaseDone(StepPhase::sorted);
    if (observer) observer->phaseDone(StepPhase::searched);
    for (int i = 0; i < world.predatorCount; ++i) {
        Agent& p = world.predators[i];
        if (p.digestTimer < 0) {
            sense(world, p, readings.predatorInputs[i]);
            readings.predatorOutputs[i] = control(p, world.predatorGenomes[i].data(),
                                                  readings.predatorInputs[i], world.settings);
        }
    }
    for (int i = 0; i < world.preyCount; ++i) {
        Agent& q = world.prey[i];
        sense(world, q, readings.preyInputs[i]);
        readings.preyOutputs[i] =
            control(q, world.preyGenomes[i].data(), readings.preyInputs[i], world.settings);
    }
    readings.lastSensedIsPredator = false;
    readings.lastSensedSlot = world.preyCount - 1;
    if (observer) observer->phaseDone(StepPhase::steered);
    moveAgents(world);
    if (observer) observer->phaseDone(StepPhase::moved);
    detectCaptures(world, captures);
    if (observer) observer->phaseDone(StepPhase::captured);
}

void ReferenceStep::sortIndexes(const WorldView& world) {
    const Agent* predators = world.predators;
    const Agent* prey = world.prey;
    insertionSortSlots(indexes.predatorsByX.data(), world.predatorCount,
                       [&](int s) { return predators[s].x; });
    insertionSortSlots(indexes.predatorsByY.data(), world.predatorCount,
                       [&](int s) { return predators[s].y; });
    indexes.maxPreyVx = 0.0f;
    indexes.maxPreyVy = 0.0f;
    for (int i = 0; i < world.preyCount; ++i) {
        if (std::fabs(prey[i].vx) > indexes.maxPreyVx) indexes.maxPreyVx = std::fabs(prey[i].vx);
        if (std::fabs(prey[i].vy) > indexes.maxPreyVy) indexes.maxPreyVy = std::fabs(prey[i].vy);
    }
    insertionSortSlots(indexes.preyByX.data(), world.preyCount, [&](int s) { return prey[s].x; });
    insertionSortSlots(indexes.preyByY.data(), world.preyCount, [&](int s) { return prey[s].y; });
}

void ReferenceStep::senseNearest(const Agent& self, const QueryPopulation& population,
                                 float halfWidth, int block, bool scaled, InputVector& inputs) {
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
    for (int k = 0; k < xCount; ++k) inXWindow_[k] = population.byX[lo + k];

    const float yLow = self.y - halfWidth;
    const float yHigh = self.y + halfWidth;
    lo = 0;
    while (lo < count && agents[population.byY[lo]].y < yLow) ++lo;
    hi = lo;
    while (hi < count && agents[population.byY[hi]].y < yHigh) ++hi;
    if (hi == lo) return;
    const int yCount = hi - lo;
    for (int k = 0; k < yCount; ++k) inYWindow_[k] = population.byY[lo + k];

    int m = 0;
    for (int i = 0; i < xCount; ++i)
        for (int j = 0; j < yCount; ++j)
            if (inXWindow_[i] == inYWindow_[j]) inBoth_[m++] = inXWindow_[i];
    if (m == 0) return;

    for (int i = 1; i < m; ++i) {
        for (int p = i; p > 0 && squaredDistance(self, agents[inBoth_[p - 1]]) >
                                     squaredDistance(self, agents[inBoth_[p]]);
             --p) {
            std::int32_t held = inBoth_[p - 1];
            inBoth_[p - 1] = inBoth_[p];
            inBoth_[p] = held;
        }
    }

    // The nearest may be the Agent itself (or one standing on it, ahead in x order).
    const int first = (&agents[inBoth_[0]] == &self) ? 1 : 0;
    const FrameRotation frame(self.heading);
    for (int k = 0; k < kNeighboursSensed && first + k < m; ++k) {
        const Agent& other = agents[inBoth_[first + k]];
        writeNeighbourTerms(inputs, block + kTermsPerNeighbour * k, self, other, frame, scaled);
    }
}

void ReferenceStep::sense(const WorldView& world, const Agent& self, InputVector& inputs) {
    inputs.fill(0.0f);
    const bool predator = self.isPredator != 0;
    senseNearest(self,
                 {world.prey, world.preyCount, indexes.preyByX.data(), indexes.preyByY.data()},
                 self.senseRange, kPreyBlock, predator, inputs);
    senseNearest(self,
                 {world.predators, world.predatorCount, indexes.predatorsByX.data(),
                  indexes.predatorsByY.data()},
                 predator ? world.settings.predatorPeerWindow : self.senseRange, kPredatorBlock,
                 !predator, inputs);
    senseWalls(inputs, self, world.arena(), FrameRotation(self.heading));
}

void ReferenceStep::detectCaptures(const WorldView& world, CaptureList& captures) {
    const Agent* prey = world.prey;
    captures.clear();
    for (int i = 0; i < world.predatorCount; ++i) {
        const Agent& p = world.predators[i];
        if (p.digestTimer < 0) {
            const int xCount = sweptWindow(
                p, prey, indexes.preyByX.data(), world.preyCount,
                [](const Agent& q) { return q.x; }, p.x, p.vx, indexes.maxPreyVx,
                inXWindow_.data());
            const int yCount = xCount == 0 ? 0
                                           : sweptWindow(
                                                 p, prey, indexes.preyByY.data(), world.preyCount,
                                                 [](const Agent& q) { return q.y; }, p.y, p.vy,
                                                 indexes.maxPreyVy, inYWindow_.data());
            for (int u = 0; u < xCount && yCount > 0; ++u) {
                for (int w = 0; w < yCount; ++w) {
                    const int slot = inXWindow_[u];
                    if (slot != inYWindow_[w] || prey[slot].captured) continue;
                    const Contact contact = contactOfPair(p, prey[slot], world.arena());
                    if (contact.found) captures.add({i, slot, contact.t1});
                }
            }
        }
        captures.sort(world.random);
        captures.apply(world.predators, world.prey);
    }
}

}  // namespace kav
