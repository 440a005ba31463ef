// The program's world step. It computes what the reference step computes (the same
// neighbours in the same order, the same contacts, the same capture list and the same
// random draws) and shares all of its arithmetic; only the search structures differ:
//
// - the four indexes are kept from step to step and re-sorted by (coordinate, slot),
//   which is the order the reference insertion sort from slot order produces, on input
//   that is nearly sorted already;
// - window bounds are found by binary search over the coordinates stored beside the
//   index, and the second axis is tested directly instead of intersecting two lists;
// - the neighbours are searched in a grid of cells rebuilt from the x index at every
//   step, outwards from the cells around the sensing Agent until no farther cell can
//   hold one of the five nearest, and the nearest are selected (squared distance, then
//   position in the x index, which is the order of the reference's stable distance
//   sort) instead of sorting every candidate;
// - the capture broad phase starts where its window starts, and the capture list is
//   re-sorted only from the first entry that is not already in strictly ascending time.
//
// The equivalences need positions that compare as a total order; a step in which some
// position in use is not a moderate finite number runs the reference step instead.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <limits>

#include "sim/workspace.h"

namespace kav {

namespace {

// Positions beyond this bound (or not numbers) send the step to the reference code;
// below it squared distances cannot overflow.
constexpr float kModerateCoordinate = 1.0e18f;

// Cell sizes of the search grids, as Agents per cell on average over the occupied area.
constexpr float kPreyPerCell = 1.5f;
constexpr float kPredatorsPerCell = 1.0f;

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

    // The keys move with their slots, so the comparisons read consecutive memory.
    float* key = index.key.data();
    for (int pos = 0; pos < count; ++pos) key[pos] = keyBySlot[slot[pos]];
    for (int i = 1; i < count; ++i) {
        const std::int32_t moving = slot[i];
        const float movingKey = key[i];
        if (!(key[i - 1] > movingKey || (key[i - 1] == movingKey && slot[i - 1] > moving)))
            continue;  // in order already, as nearly all are
        int j = i;
        do {
            key[j] = key[j - 1];
            slot[j] = slot[j - 1];
            --j;
        } while (j > 0 && (key[j - 1] > movingKey ||
                           (key[j - 1] == movingKey && slot[j - 1] > moving)));
        key[j] = movingKey;
        slot[j] = moving;
    }
    for (int pos = 0; pos < count; ++pos) index.cross[pos] = crossBySlot[slot[pos]];
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
    preyGrid.build(keptPreyByX.slot.data(), keptPreyByX.key.data(), keptPreyByX.cross.data(),
                   preyCount, kPreyPerCell);
    predatorGrid.build(keptPredatorsByX.slot.data(), keptPredatorsByX.key.data(),
                       keptPredatorsByX.cross.data(), predatorCount, kPredatorsPerCell);
    std::copy_n(keptPredatorsByX.slot.begin(), predatorCount, predatorsByX.begin());
    std::copy_n(keptPredatorsByY.slot.begin(), predatorCount, predatorsByY.begin());
    std::copy_n(keptPreyByX.slot.begin(), preyCount, preyByX.begin());
    std::copy_n(keptPreyByY.slot.begin(), preyCount, preyByY.begin());
    return true;
}

namespace {

// The five nearest candidates of a search, as keys ordered by (squared distance, position
// in the x index): the order of the reference's stable distance sort. A squared distance
// here is a finite float that is not negative, so its bits order as unsigned integers.
struct NearestFive {
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
    std::uint64_t k0 = kNone, k1 = kNone, k2 = kNone, k3 = kNone, k4 = kNone;

    static std::uint64_t key(float squaredDistance, std::int32_t xPosition) {
        return (std::uint64_t{std::bit_cast<std::uint32_t>(squaredDistance)} << 32) |
               static_cast<std::uint32_t>(xPosition);
    }
    // Keeps the five smallest keys in ascending order, without branches: the offered key
    // sinks through the five as through a sorting network.
    void offer(std::uint64_t k) {
        sink(k0, k);
        sink(k1, k);
        sink(k2, k);
        sink(k3, k);
        k4 = k < k4 ? k : k4;
    }
    bool full() const { return k4 != kNone; }
    int count() const {
        return int(k0 != kNone) + int(k1 != kNone) + int(k2 != kNone) + int(k3 != kNone) +
               int(k4 != kNone);
    }
    float fifth() const { return std::bit_cast<float>(static_cast<std::uint32_t>(k4 >> 32)); }
    std::uint64_t operator[](int i) const {
        const std::uint64_t all[5] = {k0, k1, k2, k3, k4};
        return all[i];
    }

private:
    static void sink(std::uint64_t& kept, std::uint64_t& k) {
        const std::uint64_t smaller = k < kept ? k : kept;
        k = k < kept ? kept : k;
        kept = smaller;
    }
};

// A rectangle of grid cells, columns c0..c1 and rows r0..r1.
struct CellBox {
    int c0, c1, r0, r1;
    bool operator==(const CellBox&) const = default;
};

// The squared distance that a coordinate `gap` away cannot go below: rounding is monotonic,
// so the x term of a farther candidate is at least gap², and the y term adds nothing negative.
float squaredGap(float gap) { return gap > 0.0f ? gap * gap : 0.0f; }

}  // namespace

void SenseWorkspace::senseNearestFast(const Agent& self, const Agent* agents,
                                      const CellGrid& grid, float halfWidth, int block,
                                      bool scaled, const FrameRotation& frame, float* reach) {
    const float xLow = self.x - halfWidth;
    const float xHigh = self.x + halfWidth;
    const float yLow = self.y - halfWidth;
    const float yHigh = self.y + halfWidth;
    // A window that is empty (or has bounds that are not numbers) holds nobody.
    if (!(xLow <= xHigh) || !(yLow <= yHigh) || grid.count == 0) return;

    NearestFive nearest;
    const CellBox window{grid.column(xLow), grid.column(xHigh), grid.row(yLow), grid.row(yHigh)};
    // Every candidate of the given cells of one row, the window tested without branches.
    auto scanRow = [&](int row, int firstColumn, int lastColumn) {
        const int end = grid.rowEnd(row, lastColumn);
        for (int e = grid.rowBegin(row, firstColumn); e < end; ++e) {
            const float x = grid.x[e];
            const float y = grid.y[e];
            const float dx = self.x - x;
            const float dy = self.y - y;
            const float distance = dx * dx + dy * dy;
            const bool inside = (x >= xLow) & (x < xHigh) & (y >= yLow) & (y < yHigh);
            nearest.offer(NearestFive::key(distance, grid.xPosition[e]) |
                          (std::uint64_t{0} - std::uint64_t{!inside}));
        }
    };
    // The cells of `next` that are not in `done` (which lies inside it).
    auto scanAround = [&](const CellBox& next, const CellBox& done) {
        for (int r = next.r0; r <= next.r1; ++r) {
            if (r < done.r0 || r > done.r1) {
                scanRow(r, next.c0, next.c1);
            } else {
                if (next.c0 < done.c0) scanRow(r, next.c0, done.c0 - 1);
                if (next.c1 > done.c1) scanRow(r, done.c1 + 1, next.c1);
            }
        }
    };

    // Every candidate lies in the cells of the window (the cell of a coordinate is
    // monotonic in it). Start with the cells within the reach of the last search and
    // grow the box while a candidate outside it could still be among the five.
    float start = reach ? std::min(*reach, halfWidth) : halfWidth;
    if (!(start >= 0.0f)) start = halfWidth;
    CellBox box{std::max(window.c0, grid.column(self.x - start)),
                std::min(window.c1, grid.column(self.x + start)),
                std::max(window.r0, grid.row(self.y - start)),
                std::min(window.r1, grid.row(self.y + start))};
    for (int r = box.r0; r <= box.r1; ++r) scanRow(r, box.c0, box.c1);
    while (!(box == window)) {
        if (!nearest.full()) {
            scanAround(window, box);
            box = window;
            break;
        }
        // The least squared distance of a window candidate beyond each side of the box;
        // only a side below or at the fifth distance found (ties go to the lower
        // position) needs more cells.
        const float fifth = nearest.fifth();
        const float inf = std::numeric_limits<float>::infinity();
        const float left = box.c0 > window.c0 ? squaredGap(self.x - grid.upperEdgeX(box.c0 - 1)) : inf;
        const float right = box.c1 < window.c1 ? squaredGap(grid.lowerEdgeX(box.c1 + 1) - self.x) : inf;
        const float below = box.r0 > window.r0 ? squaredGap(self.y - grid.upperEdgeY(box.r0 - 1)) : inf;
        const float above = box.r1 < window.r1 ? squaredGap(grid.lowerEdgeY(box.r1 + 1) - self.y) : inf;
        if (left > fifth && right > fifth && below > fifth && above > fifth) break;
        // Out to the cells within the fifth distance, and at least one cell further on
        // each side that needs it.
        const float radius = std::sqrt(fifth) * 1.001f;
        CellBox next = box;
        if (!(left > fifth)) next.c0 = std::max(window.c0, std::min(box.c0 - 1, grid.column(self.x - radius)));
        if (!(right > fifth)) next.c1 = std::min(window.c1, std::max(box.c1 + 1, grid.column(self.x + radius)));
        if (!(below > fifth)) next.r0 = std::max(window.r0, std::min(box.r0 - 1, grid.row(self.y - radius)));
        if (!(above > fifth)) next.r1 = std::min(window.r1, std::max(box.r1 + 1, grid.row(self.y + radius)));
        scanAround(next, box);
        box = next;
    }
    if (reach) *reach = nearest.full() ? std::sqrt(nearest.fifth()) : halfWidth;

    const int found = nearest.count();
    if (found == 0) return;
    const std::int32_t* slotByPosition = grid.slotByXPosition.data();
    const int first = (&agents[slotByPosition[nearest[0] & 0xffffffffu]] == &self) ? 1 : 0;
    for (int k = 0; k < 4 && first + k < found; ++k)
        writeNeighbourTerms(self, agents[slotByPosition[nearest[first + k] & 0xffffffffu]],
                            frame, block + 4 * k, scaled);
}

void SenseWorkspace::senseFast(const Agent& self) { senseFast(self, FrameRotation(self.heading)); }

void SenseWorkspace::senseFast(const Agent& self, const FrameRotation& frame) {
    inputs.fill(0.0f);
    const bool predator = self.isPredator != 0;
    float* reachOnPrey = nullptr;
    float* reachOnPredators = nullptr;
    // Where the Agent's record stands in its population's array, if it does.
    auto indexIn = [&](const Agent* array, int capacity) {
        const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(&self) -
                                      reinterpret_cast<std::uintptr_t>(array);
        const std::uintptr_t index = offset / sizeof(Agent);
        return offset % sizeof(Agent) == 0 && index < std::uintptr_t(capacity) ? int(index) : -1;
    };
    if (predator) {
        const int index = indexIn(predators, kMaxPredators);
        if (index >= 0) {
            reachOnPrey = &predatorReachOnPrey[index];
            reachOnPredators = &predatorReachOnPredators[index];
        }
    } else {
        const int index = indexIn(prey, kMaxPrey);
        if (index >= 0) {
            reachOnPrey = &preyReachOnPrey[index];
            reachOnPredators = &preyReachOnPredators[index];
        }
    }
    senseNearestFast(self, prey, preyGrid, self.senseRange, 0, predator, frame, reachOnPrey);
    senseNearestFast(self, predators, predatorGrid,
                     predator ? kPredatorPeerWindow : self.senseRange, 16, !predator, frame,
                     reachOnPredators);
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
    const CellGrid& grid = preyGrid;
    constexpr int kWindowWords = (kMaxPrey + 63) / 64;
    for (int i = 0; i < predatorCount; ++i) {
        const Agent& p = predators[i];
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
                    const std::int32_t slot = keptPreyByX.slot[pos];
                    if (!prey[slot].captured) testPair(i, slot);
                }
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
            const FrameRotation frame(predators[i].heading);
            senseFast(predators[i], frame);
            controlFast(predators[i], frame);
        }
    }
    for (int i = 0; i < preyCount; ++i) {
        const FrameRotation frame(prey[i].heading);
        senseFast(prey[i], frame);
        controlFast(prey[i], frame);
    }
    if (observer) observer->phaseDone(StepPhase::steered);
    for (int i = 0; i < predatorCount; ++i) predators[i].move();
    for (int i = 0; i < preyCount; ++i) prey[i].move();
    if (observer) observer->phaseDone(StepPhase::moved);
    detectCapturesFast();
    if (observer) observer->phaseDone(StepPhase::captured);
}

}  // namespace kav
