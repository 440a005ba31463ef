// The neighbour search finds exactly the reference's neighbours in the reference's order;
// only the search structures differ:
//
// - the x indexes are kept from step to step and re-sorted by (coordinate, slot), which is
//   the order the reference insertion sort from slot order produces, on input that is
//   nearly sorted already;
// - the Predators, a few dozen at most, are searched by one pass over their x index; the
//   Prey in a grid of cells rebuilt from the x index at every step, outwards from the
//   cells around the sensing Agent until no farther cell can hold one of the five nearest;
// - the nearest are selected (squared distance, then position in the x index, which is
//   the order of the reference's stable distance sort) instead of sorting every candidate.
//   (A sweep of the x index outwards from the Agent instead of the Prey grid was measured
//   and was slower.)
#include "sim/neighbour_index.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "sim/candidate_lanes.h"
#include "sim/check.h"

namespace kav {

namespace {

// Positions beyond this bound (or not numbers) are left to the reference step; below it
// squared distances cannot overflow.
constexpr float kModerateCoordinate = 1.0e18f;

// Cell sizes of the search grids, as Agents per cell on average over the occupied area.
constexpr float kPreyPerCell = 1.5f;

bool moderate(float value) { return std::fabs(value) <= kModerateCoordinate; }

// The bits of a finite x as an unsigned integer that orders as the x does, both zeros as
// one (adding +0 turns -0 into +0).
std::uint32_t orderedBits(float x) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(x + 0.0f);
    const std::uint32_t flip = static_cast<std::uint32_t>(static_cast<std::int32_t>(bits) >> 31);
    return bits ^ (flip | 0x80000000u);
}

// Copies each slot's coordinates; false when one is not a moderate number.
bool readPositions(const Agent* agents, int count, float* xs, float* ys) {
    bool allModerate = true;
    for (int i = 0; i < count; ++i) {
        const float x = agents[i].x;
        const float y = agents[i].y;
        xs[i] = x;
        ys[i] = y;
        allModerate = allModerate & moderate(x) & moderate(y);
    }
    return allModerate;
}

}  // namespace

void KeptIndex::resort(const float* xBySlot, const float* yBySlot, int countArg) {
    // Slots that left the live range are dropped, new ones are appended and sorted in.
    if (count > countArg) {
        int kept = 0;
        for (int r = 0; r < count; ++r)
            if (slot[r] < countArg) slot[kept++] = slot[r];
    } else {
        for (int s = count; s < countArg; ++s) slot[s] = s;
    }
    count = countArg;

    // (x, slot) as one integer, the x's ordered bits above the slot, so that one unsigned
    // comparison orders two entries; taken in the last tick's order, with this tick's range
    // of x.
    std::array<std::uint64_t, kPadded> lastOrder;
    float low = 0.0f;
    float high = 0.0f;
    for (int pos = 0; pos < count; ++pos) {
        const std::int32_t s = slot[pos];
        const float x = xBySlot[s];
        lastOrder[pos] = std::uint64_t{orderedBits(x)} << 32 | static_cast<std::uint32_t>(s);
        low = pos == 0 || x < low ? x : low;
        high = pos == 0 || x > high ? x : high;
    }
    // Counted into the buckets of this tick's range of x and moved there in that order: no
    // entry is out of order with one of another bucket (the bucket of an x never decreases
    // as the x grows), and with about one entry per bucket few are out of order at all.
    bucketOrigin = low;
    const float span = high - low;
    bucketInverse = span > 0.0f ? std::min(float(kBuckets) / span, 1.0e30f) : 0.0f;
    std::array<std::uint8_t, kPadded> bucketOfPos;
    std::array<std::int32_t, kBuckets + 1> next{};
    for (int pos = 0; pos < count; ++pos) {
        const int b = bucketOf(xBySlot[static_cast<std::int32_t>(lastOrder[pos])]);
        bucketOfPos[pos] = static_cast<std::uint8_t>(b);
        ++next[b + 1];
    }
    for (int b = 0; b < kBuckets; ++b) next[b + 1] += next[b];
    bucketBegin = next;
    std::array<std::uint64_t, kPadded> order;
    for (int pos = 0; pos < count; ++pos) order[next[bucketOfPos[pos]]++] = lastOrder[pos];
    // Within the buckets, by insertion.
    for (int i = 1; i < count; ++i) {
        const std::uint64_t moving = order[i];
        if (!(order[i - 1] > moving)) continue;
        int j = i;
        do {
            order[j] = order[j - 1];
            --j;
        } while (j > 0 && order[j - 1] > moving);
        order[j] = moving;
    }
    for (int pos = 0; pos < count; ++pos) {
        const std::int32_t s = static_cast<std::int32_t>(order[pos] & 0xffffffffu);
        slot[pos] = s;
        key[pos] = xBySlot[s];
        cross[pos] = yBySlot[s];
    }
#if KAV_CHECKS_ON
    for (int pos = 1; pos < count; ++pos)
        KAV_CHECK(
            key[pos - 1] < key[pos] || (key[pos - 1] == key[pos] && slot[pos - 1] < slot[pos]),
            "a kept index is in ascending (x, slot) order");
#endif
}

bool NeighbourIndex::update(const WorldView& world) {
    if (!readPositions(world.predators, world.predatorCount, predatorPositions_.x.data(),
                       predatorPositions_.y.data()))
        return false;
    // The Prey's positions, and in the same pass their largest speeds and radii.
    const Agent* prey = world.prey;
    const float radius = prey[0].radius;
    bool radiiEqual = std::isfinite(radius);
    float largestVx = 0.0f;
    float largestVy = 0.0f;
    bool allModerate = true;
    for (int i = 0; i < world.preyCount; ++i) {
        const Agent& q = prey[i];
        const float x = q.x;
        const float y = q.y;
        preyPositions_.x[i] = x;
        preyPositions_.y[i] = y;
        allModerate = allModerate & moderate(x) & moderate(y);
        largestVx = std::fabs(q.vx) > largestVx ? std::fabs(q.vx) : largestVx;
        largestVy = std::fabs(q.vy) > largestVy ? std::fabs(q.vy) : largestVy;
        radiiEqual = radiiEqual & (q.radius == radius);
    }
    if (!allModerate) return false;
    largestPreyVx = largestVx;
    largestPreyVy = largestVy;
    preyRadiiEqual = radiiEqual;

    predatorsByX.resort(predatorPositions_.x.data(), predatorPositions_.y.data(),
                        world.predatorCount);
    preyByX.resort(preyPositions_.x.data(), preyPositions_.y.data(), world.preyCount);
    return true;
}

void NeighbourIndex::buildPreyGrid() {
    preyGrid.build(preyByX.slot.data(), preyByX.key.data(), preyByX.cross.data(), preyByX.count,
                   kPreyPerCell);
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
    std::int32_t xPosition(int i) const {
        const std::uint64_t all[5] = {k0, k1, k2, k3, k4};
        return static_cast<std::int32_t>(all[i] & 0xffffffffu);
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

// The candidate test of the narrower paths' unit: SSE2 where the x86 units are built.
#if defined(KAVROSA_VECTOR_PATHS)
constexpr auto kCandidates = candidatesSse2;
#else
constexpr auto kCandidates = candidatesScalar;
#endif

}  // namespace

void NeighbourIndex::senseNearest(const Agent& self, int selfSlot, const Agent* agents,
                                  const CellGrid& grid, float halfWidth, float* reach,
                                  NeighbourBlock& found) const {
    found.count = 0;
    KAV_CHECK(selfSlot < 0 || &agents[selfSlot] == &self, "selfSlot is the sensing Agent's slot");
    const float xLow = self.x - halfWidth;
    const float xHigh = self.x + halfWidth;
    const float yLow = self.y - halfWidth;
    const float yHigh = self.y + halfWidth;
    // A window that is empty (or has bounds that are not numbers) holds nobody.
    if (!(xLow <= xHigh) || !(yLow <= yHigh) || grid.count == 0) return;

    NearestFive nearest;
    const CellBox window{grid.column(xLow), grid.column(xHigh), grid.row(yLow), grid.row(yHigh)};
    // Four entries at a time: the squared distances and the window test in the lanes, the
    // same single-precision operations as one entry at a time. Only entries in the window
    // whose distance does not exceed the fifth found so far can change the five; they are
    // offered one by one (the order of the offers does not change the five kept).
    float gate = std::numeric_limits<float>::infinity();
    const CandidateWindow four{self.x, self.y, xLow, xHigh, yLow, yHigh};
    auto scanRow = [&](int row, int firstColumn, int lastColumn) __attribute__((always_inline)) {
        const int end = grid.rowEnd(row, lastColumn);
        for (int e = grid.rowBegin(row, firstColumn); e < end; e += kCandidatesAtOnce) {
            alignas(16) float distances[kCandidatesAtOnce];
            int offered =
                kCandidates(four, grid.x.data() + e, grid.y.data() + e, end - e, gate, distances);
            if (offered == 0) continue;
            for (; offered != 0; offered &= offered - 1) {
                const int lane = std::countr_zero(static_cast<unsigned>(offered));
                nearest.offer(NearestFive::key(distances[lane], grid.xPosition[e + lane]));
            }
            if (nearest.full()) gate = nearest.fifth();
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
        const float left =
            box.c0 > window.c0 ? squaredGap(self.x - grid.upperEdgeX(box.c0 - 1)) : inf;
        const float right =
            box.c1 < window.c1 ? squaredGap(grid.lowerEdgeX(box.c1 + 1) - self.x) : inf;
        const float below =
            box.r0 > window.r0 ? squaredGap(self.y - grid.upperEdgeY(box.r0 - 1)) : inf;
        const float above =
            box.r1 < window.r1 ? squaredGap(grid.lowerEdgeY(box.r1 + 1) - self.y) : inf;
        if (left > fifth && right > fifth && below > fifth && above > fifth) break;
        // Out to the cells within the fifth distance, and at least one cell further on
        // each side that needs it.
        const float radius = std::sqrt(fifth) * 1.001f;
        CellBox next = box;
        if (!(left > fifth))
            next.c0 = std::max(window.c0, std::min(box.c0 - 1, grid.column(self.x - radius)));
        if (!(right > fifth))
            next.c1 = std::min(window.c1, std::max(box.c1 + 1, grid.column(self.x + radius)));
        if (!(below > fifth))
            next.r0 = std::max(window.r0, std::min(box.r0 - 1, grid.row(self.y - radius)));
        if (!(above > fifth))
            next.r1 = std::min(window.r1, std::max(box.r1 + 1, grid.row(self.y + radius)));
        scanAround(next, box);
        box = next;
    }
    if (reach) *reach = nearest.full() ? std::sqrt(nearest.fifth()) : halfWidth;

    const int kept = nearest.count();
    if (kept == 0) return;
    const std::int32_t* slotByPosition = grid.slotByXPosition.data();
    // The nearest may be the Agent itself (or one standing on it, ahead in x order).
    const int first = slotByPosition[nearest.xPosition(0)] == selfSlot ? 1 : 0;
    int count = 0;
    for (; count < kNeighboursSensed && first + count < kept; ++count)
        found.neighbours[count] = &agents[slotByPosition[nearest.xPosition(first + count)]];
    found.count = count;
}

void NeighbourIndex::senseNearestOfAll(const Agent& self, int selfSlot, const Agent* agents,
                                       const KeptIndex& index, float halfWidth,
                                       NeighbourBlock& found) const {
    found.count = 0;
    KAV_CHECK(selfSlot < 0 || &agents[selfSlot] == &self, "selfSlot is the sensing Agent's slot");
    const float xLow = self.x - halfWidth;
    const float xHigh = self.x + halfWidth;
    const float yLow = self.y - halfWidth;
    const float yHigh = self.y + halfWidth;
    const int n = index.count;
    if (!(xLow <= xHigh) || !(yLow <= yHigh) || n == 0) return;
    const float* xs = index.key.data();
    const float* ys = index.cross.data();
    KAV_CHECK(n + 3 <= int(index.key.size()), "four entries can be read from any position");

    NearestFive nearest;
    // As the row scan of senseNearest: four entries at a time, only those in the window
    // no farther than the fifth found so far offered.
    float gate = std::numeric_limits<float>::infinity();
    const CandidateWindow four{self.x, self.y, xLow, xHigh, yLow, yHigh};
    for (int from = 0; from < n; from += kCandidatesAtOnce) {
        alignas(16) float distances[kCandidatesAtOnce];
        int offered = kCandidates(four, xs + from, ys + from, n - from, gate, distances);
        for (; offered != 0; offered &= offered - 1) {
            const int lane = std::countr_zero(static_cast<unsigned>(offered));
            nearest.offer(NearestFive::key(distances[lane], from + lane));
        }
        if (nearest.full()) gate = nearest.fifth();
    }

    const int kept = nearest.count();
    if (kept == 0) return;
    const std::int32_t* slotByPosition = index.slot.data();
    const int first = slotByPosition[nearest.xPosition(0)] == selfSlot ? 1 : 0;
    int count = 0;
    for (; count < kNeighboursSensed && first + count < kept; ++count)
        found.neighbours[count] = &agents[slotByPosition[nearest.xPosition(first + count)]];
    found.count = count;
}

}  // namespace kav
