#include "sim/world_step.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kav {

void WorldStep::run(const WorldView& world, AgentReadings& readings, CaptureList& captures,
                    StepObserver* observer) {
    if (!sort(world)) {
        reference_.run(world, readings, captures, observer);
        return;
    }
    if (observer) observer->phaseDone(StepPhase::sorted);
    senseAndControl(world, readings);
    if (observer) observer->phaseDone(StepPhase::steered);
    moveAgents(world);
    if (observer) observer->phaseDone(StepPhase::moved);
    detectCaptures(world, captures);
    if (observer) observer->phaseDone(StepPhase::captured);
}

bool WorldStep::sort(const WorldView& world) {
    if (!neighbours.update(world)) return false;
    float largestVx = 0.0f;
    float largestVy = 0.0f;
    const float radius = world.prey[0].radius;
    bool radiiEqual = std::isfinite(radius);
    for (int i = 0; i < world.preyCount; ++i) {
        const Agent& q = world.prey[i];
        if (std::fabs(q.vx) > largestVx) largestVx = std::fabs(q.vx);
        if (std::fabs(q.vy) > largestVy) largestVy = std::fabs(q.vy);
        radiiEqual = radiiEqual && q.radius == radius;
    }
    maxPreyVx = largestVx;
    maxPreyVy = largestVy;
    preyRadiiEqual = radiiEqual;
    // The reference capture phase needs its own indexes, sorted before the moves.
    if (!preyRadiiEqual) reference_.sortIndexes(world);
    return true;
}

void WorldStep::sense(const WorldView& world, const Agent& self, int slot,
                      const FrameRotation& frame, InputVector& inputs) {
    inputs.fill(0.0f);
    const bool predator = self.isPredator != 0;
    NeighbourBlock prey;
    prey.block = kPreyBlock;
    prey.scaled = predator;
    NeighbourBlock predators;
    predators.block = kPredatorBlock;
    predators.scaled = !predator;
    float* reachOnPrey =
        predator ? &neighbours.predatorReachOnPrey[slot] : &neighbours.preyReachOnPrey[slot];
    const float predatorWindow = predator ? kPredatorPeerWindow : self.senseRange;
    if (vectorPath == VectorPath::sse2) {
        neighbours.senseNearest(self, predator ? -1 : slot, world.prey, neighbours.preyGrid,
                                self.senseRange, reachOnPrey, prey);
        neighbours.senseNearestOfAll(self, predator ? slot : -1, world.predators,
                                     neighbours.predatorsByX, predatorWindow, predators);
    } else {
        float* reachOnPredators = predator ? &neighbours.predatorReachOnPredators[slot]
                                           : &neighbours.preyReachOnPredators[slot];
        searchByPass(self, predator ? -1 : slot, world.prey, neighbours.preyByX, self.senseRange,
                     reachOnPrey, prey);
        searchByPass(self, predator ? slot : -1, world.predators, neighbours.predatorsByX,
                     predatorWindow, reachOnPredators, predators);
    }
    writeNeighbourBlocks(inputs, self, prey, predators, frame);
    senseWallsPacked(inputs, self, world.arena, frame);
}

void WorldStep::searchByPass(const Agent& self, int selfSlot, const Agent* agents,
                             const KeptIndex& index, float halfWidth, float* reach,
                             NeighbourBlock& found) const {
    found.count = 0;
    NearestQuery query;
    query.x = self.x;
    query.y = self.y;
    query.xLow = self.x - halfWidth;
    query.xHigh = self.x + halfWidth;
    query.yLow = self.y - halfWidth;
    query.yHigh = self.y + halfWidth;
    // A window that is empty (or has bounds that are not numbers) holds nobody.
    if (!(query.xLow <= query.xHigh) || !(query.yLow <= query.yHigh) || index.count == 0) return;
    // Only positions whose x lies within the gate's distance can pass it; the margin covers
    // the roundings of the squared distance and of the bounds.
    auto search = [&](float gate) {
        query.gate = gate * gate;
        const float margin = gate * 1.001f + std::fabs(self.x) * 1.0e-6f;
        const int begin = index.rangeBegin(std::max(query.xLow, self.x - margin));
        const int end = index.rangeEnd(std::min(query.xHigh, self.x + margin));
        NearestFound found = nearestFive(vectorPath, index.key.data() + begin,
                                         index.cross.data() + begin, end - begin, query);
        for (int k = 0; k < found.count; ++k) found.position[k] += begin;
        return found;
    };
    // Last tick's five nearest are now at most this far: each moved by at most |vx| + |vy|
    // (the others mostly less than this Agent's own move).
    const float gate = *reach + (std::fabs(self.vx) + std::fabs(self.vy));
    NearestFound nearest = search(gate);
    const float inf = std::numeric_limits<float>::infinity();
    if (nearest.count < 5 && gate != inf) nearest = search(gate * 1.5f + 0.05f);
    if (nearest.count < 5 && gate != inf) nearest = search(inf);
    *reach = nearest.count == 5 ? std::sqrt(nearest.fifth) : inf;
    if (nearest.count == 0) return;
    // The nearest may be the Agent itself (or one standing on it, ahead in x order).
    const int first = index.slot[nearest.position[0]] == selfSlot ? 1 : 0;
    int count = 0;
    for (; count < kNeighboursSensed && first + count < nearest.count; ++count)
        found.neighbours[count] = &agents[index.slot[nearest.position[first + count]]];
    found.count = count;
}

void WorldStep::senseAndControl(const WorldView& world, AgentReadings& readings) {
    for (int i = 0; i < world.predatorCount; ++i) {
        Agent& p = world.predators[i];
        if (p.digestTimer < 0) {
            const FrameRotation frame(p.heading);
            sense(world, p, i, frame, readings.predatorInputs[i]);
            readings.predatorOutputs[i] = control(p, readings.predatorInputs[i], frame);
        }
    }
    for (int i = 0; i < world.preyCount; ++i) {
        Agent& q = world.prey[i];
        const FrameRotation frame(q.heading);
        sense(world, q, i, frame, readings.preyInputs[i]);
        readings.preyOutputs[i] = control(q, readings.preyInputs[i], frame);
    }
    readings.lastSensedIsPredator = false;
    readings.lastSensedSlot = world.preyCount - 1;
}

void WorldStep::detectCaptures(const WorldView& world, CaptureList& captures) {
    if (!preyRadiiEqual) {
        reference_.detectCaptures(world, captures);
        return;
    }
    captures.clear();
    int ascending = 0;  // leading events of the list in strictly ascending time
    const Agent* prey = world.prey;
    const float preyRadius = prey[0].radius;
    const CellGrid& grid = neighbours.preyGrid;
    constexpr int kWindowWords = (kMaxPrey + 63) / 64;
    for (int i = 0; i < world.predatorCount; ++i) {
        const Agent& p = world.predators[i];
        if (p.digestTimer < 0) {
            const float lowX = sweptLowerBound(p.x, p.radius, preyRadius, maxPreyVx, p.vx);
            const float highX = sweptUpperBound(p.x, p.radius, preyRadius, maxPreyVx, p.vx);
            const float lowY = sweptLowerBound(p.y, p.radius, preyRadius, maxPreyVy, p.vy);
            const float highY = sweptUpperBound(p.y, p.radius, preyRadius, maxPreyVy, p.vy);
            // The Prey in the swept window, from the cells that cover it, marked by their
            // position in the x index so that the pairs are tested in x-index order, as
            // the reference tests them. The bounds are compared as the reference's scans
            // compare them, also when one of them is not a number.
            std::uint64_t inWindow[kWindowWords] = {};
            const int lastRow = grid.row(highY);
            const int firstColumn = grid.column(lowX);
            const int lastColumn = grid.column(highX);
            for (int r = grid.row(lowY); r <= lastRow; ++r) {
                const int end = grid.rowEnd(r, lastColumn);
                for (int e = grid.rowBegin(r, firstColumn); e < end; ++e) {
                    const float x = grid.x[e];
                    const float y = grid.y[e];
                    const bool inside = !(x < lowX) & (x < highX) & !(y < lowY) & (y < highY);
                    const int pos = grid.xPosition[e];
                    inWindow[pos >> 6] |= std::uint64_t{inside} << (pos & 63);
                }
            }
            for (int word = 0; word < kWindowWords; ++word) {
                for (std::uint64_t bits = inWindow[word]; bits != 0; bits &= bits - 1) {
                    const int pos = word * 64 + std::countr_zero(bits);
                    const std::int32_t slot = neighbours.preyByX.slot[pos];
                    if (prey[slot].captured) continue;
                    const Contact contact = contactOfPair(p, prey[slot], world.arena);
                    if (contact.found) captures.add({i, slot, contact.t1});
                }
            }
        }
        // Events in strictly ascending time stop the insertion sort at once and draw
        // nothing, so the sort can start behind them.
        if (ascending < captures.count) {
            captures.sort(world.random, ascending);
            ascending = captures.ascendingPrefix();
        }
        captures.apply(world.predators, world.prey);
    }
}

}  // namespace kav
