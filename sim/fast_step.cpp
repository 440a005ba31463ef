// The program's world step. It computes what the reference step computes (the same
// neighbours in the same order, the same contacts, the same capture list and the same
// random draws) and shares all of its arithmetic; only the search structures differ:
//
// - the four indexes are kept from step to step and re-sorted by (coordinate, slot),
//   which is the order the reference insertion sort from slot order produces, on input
//   that is nearly sorted already;
// - window bounds are found by binary search over the coordinates stored beside the
//   index, and the second axis is tested directly instead of intersecting two lists;
// - the nearest neighbours are selected (squared distance, then position in the x
//   index, which is the order of the reference's stable distance sort) instead of
//   sorting every candidate;
// - the capture broad phase starts where its window starts, and the capture list is
//   re-sorted only from the first entry that is not already in strictly ascending time.
//
// The equivalences need positions that compare as a total order; a step in which some
// position in use is not a moderate finite number runs the reference step instead.
#include <algorithm>
#include <cmath>
#include <limits>

#include "sim/workspace.h"

namespace kav {

namespace {

// Positions beyond this bound (or not numbers) send the step to the reference code;
// below it squared distances cannot overflow.
constexpr float kModerateCoordinate = 1.0e18f;

bool moderate(float value) { return std::fabs(value) <= kModerateCoordinate; }

// Brings a kept index to the slots 0..count-1 and to ascending (key, slot) order.
// Slots that left the live range are dropped, new ones are appended and sorted in.
void resortKept(KeptIndex& index, int count, const float* keyBySlot, const float* crossBySlot) {
    std::int32_t* slot = index.slot.data();
    if (index.count > count) {
        int kept = 0;
        for (int r = 0; r < index.count; ++r)
            if (slot[r] < count) slot[kept++] = slot[r];
    } else {
        for (int s = index.count; s < count; ++s) slot[s] = s;
    }
    index.count = count;

    for (int i = 1; i < count; ++i) {
        const std::int32_t moving = slot[i];
        const float key = keyBySlot[moving];
        int j = i;
        while (j > 0) {
            const std::int32_t before = slot[j - 1];
            const float beforeKey = keyBySlot[before];
            if (!(beforeKey > key || (beforeKey == key && before > moving))) break;
            slot[j] = before;
            --j;
        }
        slot[j] = moving;
    }
    for (int pos = 0; pos < count; ++pos) {
        index.key[pos] = keyBySlot[slot[pos]];
        index.cross[pos] = crossBySlot[slot[pos]];
    }
}

// First position in [from, count) whose key is not below `bound` (keys ascending).
int firstNotBelow(const float* keys, int from, int count, float bound) {
    return static_cast<int>(
        std::partition_point(keys + from, keys + count, [bound](float k) { return k < bound; }) -
        keys);
}

}  // namespace

bool SenseWorkspace::sortKeptIndexes() {
    float predatorX[kMaxPredators];
    float predatorY[kMaxPredators];
    float preyX[kMaxPrey];
    float preyY[kMaxPrey];
    for (int i = 0; i < predatorCount; ++i) {
        predatorX[i] = predators[i].x;
        predatorY[i] = predators[i].y;
        if (!moderate(predatorX[i]) || !moderate(predatorY[i])) return false;
    }
    float largestVx = 0.0f;
    float largestVy = 0.0f;
    const float radius = prey[0].radius;
    bool radiiEqual = std::isfinite(radius);
    for (int i = 0; i < preyCount; ++i) {
        const Agent& q = prey[i];
        preyX[i] = q.x;
        preyY[i] = q.y;
        if (!moderate(preyX[i]) || !moderate(preyY[i])) return false;
        if (std::fabs(q.vx) > largestVx) largestVx = std::fabs(q.vx);
        if (std::fabs(q.vy) > largestVy) largestVy = std::fabs(q.vy);
        radiiEqual = radiiEqual && q.radius == radius;
    }
    maxPreyVx = largestVx;
    maxPreyVy = largestVy;
    preyRadiiEqual = radiiEqual;

    resortKept(keptPredatorsByX, predatorCount, predatorX, predatorY);
    resortKept(keptPredatorsByY, predatorCount, predatorY, predatorX);
    resortKept(keptPreyByX, preyCount, preyX, preyY);
    resortKept(keptPreyByY, preyCount, preyY, preyX);
    std::copy_n(keptPredatorsByX.slot.begin(), predatorCount, predatorsByX.begin());
    std::copy_n(keptPredatorsByY.slot.begin(), predatorCount, predatorsByY.begin());
    std::copy_n(keptPreyByX.slot.begin(), preyCount, preyByX.begin());
    std::copy_n(keptPreyByY.slot.begin(), preyCount, preyByY.begin());
    return true;
}

void SenseWorkspace::senseNearestFast(const Agent& self, const Agent* agents,
                                      const KeptIndex& byX, float halfWidth, int block,
                                      bool scaled, const FrameRotation& frame) {
    const float xLow = self.x - halfWidth;
    const float xHigh = self.x + halfWidth;
    const float yLow = self.y - halfWidth;
    const float yHigh = self.y + halfWidth;
    // A window that is empty (or has bounds that are not numbers) holds nobody.
    if (!(xLow <= xHigh) || !(yLow <= yHigh)) return;

    // The five nearest in (squared distance, x-index position) order, the order of the
    // reference's stable distance sort; the sensing Agent itself may be the first of
    // them and is then skipped.
    constexpr int kKept = 5;
    float nearestDistance[kKept];
    std::int32_t nearestPosition[kKept];
    int found = 0;
    auto consider = [&](int pos, float dxSquared, float y) {
        if (y < yLow || !(y < yHigh)) return;
        const float dy = self.y - y;
        const float distance = dxSquared + dy * dy;
        if (found == kKept && !(distance < nearestDistance[kKept - 1] ||
                                (distance == nearestDistance[kKept - 1] &&
                                 pos < nearestPosition[kKept - 1])))
            return;
        int k = found < kKept ? found++ : kKept - 1;
        while (k > 0 && (nearestDistance[k - 1] > distance ||
                         (nearestDistance[k - 1] == distance && nearestPosition[k - 1] > pos))) {
            nearestDistance[k] = nearestDistance[k - 1];
            nearestPosition[k] = nearestPosition[k - 1];
            --k;
        }
        nearestDistance[k] = distance;
        nearestPosition[k] = pos;
    };

    // Outwards from the sensing Agent's x, nearer x first, on each side until the x
    // window ends or the x distance alone exceeds the fifth distance found: a squared
    // distance is never below its x term (rounding is monotonic), and the x term only
    // grows outwards.
    const int count = byX.count;
    const float* xs = byX.key.data();
    const float* ys = byX.cross.data();
    const float inf = std::numeric_limits<float>::infinity();
    int right = firstNotBelow(xs, 0, count, self.x);
    int left = right - 1;
    float rightTerm = inf;  // squared x distance of the next candidate on each side
    float leftTerm = inf;
    auto nextRight = [&] {
        if (right < count && xs[right] < xHigh) {
            const float dx = self.x - xs[right];
            rightTerm = dx * dx;
        } else {
            rightTerm = inf;
        }
    };
    auto nextLeft = [&] {
        if (left >= 0 && !(xs[left] < xLow)) {
            const float dx = self.x - xs[left];
            leftTerm = dx * dx;
        } else {
            leftTerm = inf;
        }
    };
    nextRight();
    nextLeft();
    for (;;) {
        const float limit = found == kKept ? nearestDistance[kKept - 1] : inf;
        const bool takeRight = rightTerm <= leftTerm;
        const float term = takeRight ? rightTerm : leftTerm;
        if (term == inf || term > limit) break;
        if (takeRight) {
            consider(right, term, ys[right]);
            ++right;
            nextRight();
        } else {
            consider(left, term, ys[left]);
            --left;
            nextLeft();
        }
    }
    if (found == 0) return;

    const int first = (&agents[byX.slot[nearestPosition[0]]] == &self) ? 1 : 0;
    for (int k = 0; k < 4 && first + k < found; ++k)
        writeNeighbourTerms(self, agents[byX.slot[nearestPosition[first + k]]], frame,
                            block + 4 * k, scaled);
}

void SenseWorkspace::senseFast(const Agent& self) {
    inputs.fill(0.0f);
    const bool predator = self.isPredator != 0;
    const FrameRotation frame(self.heading);
    senseNearestFast(self, prey, keptPreyByX, self.senseRange, 0, predator, frame);
    senseNearestFast(self, predators, keptPredatorsByX,
                     predator ? kPredatorPeerWindow : self.senseRange, 16, !predator, frame);
    senseWalls(self, frame);
}

void SenseWorkspace::detectCapturesFast() {
    if (!preyRadiiEqual) {
        detectCaptures();
        return;
    }
    captureCount = 0;
    int ascending = 0;  // leading entries of the list in strictly ascending time
    const float preyRadius = prey[0].radius;
    const int count = keptPreyByX.count;
    const float* xs = keptPreyByX.key.data();
    const float* ys = keptPreyByX.cross.data();
    for (int i = 0; i < predatorCount; ++i) {
        const Agent& p = predators[i];
        if (p.digestTimer < 0) {
            const float lowX = sweptLowerBound(p.x, p.radius, preyRadius, maxPreyVx, p.vx);
            const float highX = sweptUpperBound(p.x, p.radius, preyRadius, maxPreyVx, p.vx);
            const float lowY = sweptLowerBound(p.y, p.radius, preyRadius, maxPreyVy, p.vy);
            const float highY = sweptUpperBound(p.y, p.radius, preyRadius, maxPreyVy, p.vy);
            const int lo = firstNotBelow(xs, 0, count, lowX);
            const int hi = firstNotBelow(xs, lo, count, highX);
            for (int pos = lo; pos < hi; ++pos) {
                const float y = ys[pos];
                if (y < lowY || !(y < highY)) continue;
                const std::int32_t slot = keptPreyByX.slot[pos];
                if (!prey[slot].captured) testPair(i, slot);
            }
        }
        // Entries in strictly ascending time stop the insertion sort at once and draw
        // nothing, so the sort can start behind them.
        if (ascending < captureCount) {
            sortCaptureList(ascending);
            ascending = 1;
            while (ascending < captureCount &&
                   captures[ascending - 1].time < captures[ascending].time)
                ++ascending;
        }
        for (int e = 0; e < captureCount; ++e) {
            const CaptureEvent event = captures[e];
            if (!predators[event.predatorSlot].captured && !prey[event.preySlot].captured)
                applyCapture(event.predatorSlot, event.preySlot, event.time);
        }
    }
}

void SenseWorkspace::worldStepFast() {
    if (observer) observer->phaseDone(StepPhase::begun);
    if (!sortKeptIndexes()) {
        worldStepLiteral();
        return;
    }
    if (observer) observer->phaseDone(StepPhase::sorted);
    for (int i = 0; i < predatorCount; ++i) {
        if (predators[i].digestTimer < 0) {
            senseFast(predators[i]);
            controlFast(predators[i]);
        }
    }
    for (int i = 0; i < preyCount; ++i) {
        senseFast(prey[i]);
        controlFast(prey[i]);
    }
    if (observer) observer->phaseDone(StepPhase::steered);
    for (int i = 0; i < predatorCount; ++i) predators[i].move();
    for (int i = 0; i < preyCount; ++i) prey[i].move();
    if (observer) observer->phaseDone(StepPhase::moved);
    detectCapturesFast();
    if (observer) observer->phaseDone(StepPhase::captured);
}

}  // namespace kav
