// The program step's own machinery: the cell grid behind its neighbour search (every entry
// in the cell its coordinates map to, edges that hold for every entry, a search whose
// result does not depend on where it starts) and the steering's reuse of the sensing
// frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/cell_grid.h"
#include "sim/check.h"
#include "sim/neighbour_index.h"
#include "test_world.h"

namespace kav {
namespace {

using testing::bitsOf;
using testing::HandWorld;

// Builds a grid from points as the neighbour index does: from an index in ascending (x, slot).
void buildFrom(CellGrid& grid, std::vector<std::array<float, 2>> points, float perCell) {
    std::vector<std::int32_t> slots(points.size());
    for (std::size_t i = 0; i < slots.size(); ++i) slots[i] = static_cast<std::int32_t>(i);
    std::stable_sort(slots.begin(), slots.end(),
                     [&](std::int32_t a, std::int32_t b) { return points[a][0] < points[b][0]; });
    std::vector<float> xs;
    std::vector<float> ys;
    for (std::int32_t s : slots) {
        xs.push_back(points[s][0]);
        ys.push_back(points[s][1]);
    }
    grid.build(slots.data(), xs.data(), ys.data(), static_cast<int>(points.size()), perCell);
}

// Every entry once, in the cell its coordinates map to, beyond the lower safe edges of
// its cell and before the upper ones.
void expectConsistent(const CellGrid& grid, const std::vector<std::array<float, 2>>& points) {
    ASSERT_GE(grid.columns, 1);
    ASSERT_GE(grid.rows, 1);
    ASSERT_LE(grid.columns * grid.rows, CellGrid::kMaxCells);
    ASSERT_EQ(grid.cellBegin[grid.columns * grid.rows], static_cast<int>(points.size()));
    std::vector<int> seen(points.size(), 0);
    for (int r = 0; r < grid.rows; ++r) {
        for (int c = 0; c < grid.columns; ++c) {
            for (int e = grid.rowBegin(r, c); e < grid.rowEnd(r, c); ++e) {
                const float x = grid.x[e];
                const float y = grid.y[e];
                ASSERT_EQ(grid.column(x), c);
                ASSERT_EQ(grid.row(y), r);
                if (c >= 1) {
                    EXPECT_GE(x, grid.lowerEdgeX(c)) << "column " << c;
                }
                if (c <= grid.columns - 2) {
                    EXPECT_LT(x, grid.upperEdgeX(c)) << "column " << c;
                }
                if (r >= 1) {
                    EXPECT_GE(y, grid.lowerEdgeY(r)) << "row " << r;
                }
                if (r <= grid.rows - 2) {
                    EXPECT_LT(y, grid.upperEdgeY(r)) << "row " << r;
                }
                const int slot = grid.slotByXPosition[grid.xPosition[e]];
                ASSERT_EQ(bitsOf(points[slot][0]), bitsOf(x));
                ASSERT_EQ(bitsOf(points[slot][1]), bitsOf(y));
                seen[slot] += 1;
            }
        }
    }
    for (std::size_t s = 0; s < seen.size(); ++s) EXPECT_EQ(seen[s], 1) << "slot " << s;
}

TEST(CellGrid, EntriesSitInTheirCellsWithinTheSafeEdges) {
    std::mt19937 rng(4242);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int trial = 0; trial < 200; ++trial) {
        SCOPED_TRACE(trial);
        const int count = std::uniform_int_distribution<int>(1, kMaxPrey)(rng);
        // Spreads from a speck to far beyond the arena, some on cell edges exactly
        // (coordinates on a grid of the same step as the cells).
        const float spread = std::pow(10.0f, std::uniform_real_distribution<float>(-5, 6)(rng));
        const float centre = std::uniform_real_distribution<float>(-1000, 1000)(rng);
        const bool onSteps = trial % 3 == 0;
        std::vector<std::array<float, 2>> points(count);
        for (auto& p : points) {
            for (float& v : p) {
                v = unit(rng);
                if (onSteps) v = std::floor(v * 16.0f) / 16.0f;
                v = centre + spread * v;
            }
        }
        CellGrid grid;
        buildFrom(grid, points, trial % 2 ? 1.0f : 1.5f);
        expectConsistent(grid, points);
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(CellGrid, DegenerateSpreadsGiveOneCellAcross) {
    CellGrid grid;
    // All on one point: a single cell.
    buildFrom(grid, std::vector<std::array<float, 2>>(50, {1.5f, -2.0f}), 1.0f);
    EXPECT_EQ(grid.columns * grid.rows, 1);
    expectConsistent(grid, std::vector<std::array<float, 2>>(50, {1.5f, -2.0f}));
    // On a horizontal line: columns only.
    std::vector<std::array<float, 2>> line;
    for (int i = 0; i < 100; ++i) line.push_back({-5.0f + 0.1f * static_cast<float>(i), 3.0f});
    buildFrom(grid, line, 1.0f);
    EXPECT_EQ(grid.rows, 1);
    EXPECT_GT(grid.columns, 1);
    expectConsistent(grid, line);
    // No entries at all.
    buildFrom(grid, {}, 1.0f);
    EXPECT_EQ(grid.cellBegin[1], 0);
}

// The cell of a coordinate never decreases as the coordinate grows, also outside the
// occupied area: the search relies on it to find the window's cells.
TEST(CellGrid, CellOfACoordinateIsMonotonic) {
    CellGrid grid;
    std::vector<std::array<float, 2>> points;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> arena(-5.0f, 5.0f);
    for (int i = 0; i < 150; ++i) points.push_back({arena(rng), arena(rng) * 0.8f});
    buildFrom(grid, points, 1.5f);
    // Far out on both sides, and near the arena in steps finer than a cell, each step
    // followed by the next float up (where a rounding could misplace a coordinate).
    std::vector<float> values;
    for (float v = -1.0e20f; v < -10.0f; v /= 3.0f) values.push_back(v);
    for (float v = -10.0f; v < 10.0f; v += 0.001f) {
        values.push_back(v);
        values.push_back(std::nextafter(v, 20.0f));
    }
    for (float v = 10.0f; v < 1.0e20f; v *= 3.0f) values.push_back(v);
    int last = 0;
    for (float v : values) {
        const int c = grid.column(v);
        ASSERT_GE(c, last) << v;
        ASSERT_LT(c, grid.columns);
        last = c;
    }
    EXPECT_EQ(last, grid.columns - 1);
}

// The search starts from the reach of the Agent's last search; whatever that reach, the
// input vector is the reference's. A reach of 0 makes every search grow its box.
TEST(CellGrid, SensingDoesNotDependOnWhereTheSearchStarts) {
    HandWorld world;
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> x(-5.0f, 5.0f);
    std::uniform_real_distribution<float> y(-4.0f, 4.0f);
    std::uniform_real_distribution<float> v(-0.5f, 0.5f);
    const float starts[] = {0.0f,
                            1.0e-6f,
                            0.3f,
                            1.0f,
                            50.0f,
                            std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN()};
    for (int trial = 0; trial < 20; ++trial) {
        SCOPED_TRACE(trial);
        for (Agent& a : world.predators) world.place(a, x(rng), y(rng), v(rng), v(rng));
        for (Agent& a : world.prey) world.place(a, x(rng), y(rng), v(rng), v(rng));
        // Clusters: a tenth of the Prey on a few points.
        for (int i = 0; i < kMaxPrey; i += 10)
            world.place(world.prey[i], 1.0f + static_cast<float>(i % 3), -1.0f, 0.1f, 0.0f);
        world.attach(kMaxPredators, kMaxPrey);
        ASSERT_TRUE(world.program.sort(world.view()));
        for (float start : starts) {
            SCOPED_TRACE(start);
            for (int i = 0; i < kMaxPredators + kMaxPrey; ++i) {
                const bool predator = i < kMaxPredators;
                const Agent& a = predator ? world.predators[i] : world.prey[i - kMaxPredators];
                const InputVector expected = world.senseByReference(a);
                NeighbourIndex& index = world.program.neighbours;
                index.predatorReachOnPrey.fill(start);
                index.preyReachOnPrey.fill(start);
                const InputVector got = world.senseByProgram(a);
                for (int k = 0; k < kInputCount; ++k)
                    ASSERT_EQ(bitsOf(got[k]), bitsOf(expected[k]))
                        << (predator ? "Predator " : "Prey ") << a.slot << " input " << k;
            }
        }
    }
}

// The kept index re-sorted from each trial's order to the next, its count shrinking and
// growing: the slots in ascending (x, slot) with -0 and +0 as one x (as the reference's
// comparisons take them), and buckets that hold every entry's x range, also when every
// entry shares one x or one bucket.
TEST(KeptIndex, ResortKeepsXThenSlotOrderAndBucketsThatBoundEachX) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::array<float, kMaxPrey> xs{};
    std::array<float, kMaxPrey> ys{};
    KeptIndex index;
    for (int trial = 0; trial < 400; ++trial) {
        SCOPED_TRACE(trial);
        const int count = trial % 5 == 0 ? std::uniform_int_distribution<int>(0, 3)(rng)
                                         : std::uniform_int_distribution<int>(1, kMaxPrey)(rng);
        for (int s = 0; s < kMaxPrey; ++s) {
            const float u = unit(rng);
            switch (trial % 4) {
                case 0:
                    xs[s] = -5.0f + 10.0f * u;
                    break;  // spread over the arena
                case 1:
                    xs[s] = u < 0.3f ? -0.0f : (u < 0.6f ? 0.0f : (u < 0.8f ? 1.0f : -2.0f));
                    break;
                case 2:
                    xs[s] = u < 0.95f ? 3.0f : 3.0f + u;
                    break;  // nearly all on one x
                default:
                    xs[s] += 0.05f * (u - 0.5f);
                    break;  // last trial's x moved a little
            }
            ys[s] = unit(rng);
        }
        index.resort(xs.data(), ys.data(), count);

        std::vector<std::int32_t> expected(count);
        for (int s = 0; s < count; ++s) expected[s] = s;
        std::stable_sort(expected.begin(), expected.end(),
                         [&](std::int32_t a, std::int32_t b) { return xs[a] < xs[b]; });
        ASSERT_EQ(index.count, count);
        ASSERT_EQ(index.bucketBegin[0], 0);
        ASSERT_EQ(index.bucketBegin[KeptIndex::kBuckets], count);
        for (int pos = 0; pos < count; ++pos) {
            const std::int32_t s = expected[pos];
            ASSERT_EQ(index.slot[pos], s) << pos;
            ASSERT_EQ(bitsOf(index.key[pos]), bitsOf(xs[s])) << pos;
            ASSERT_EQ(bitsOf(index.cross[pos]), bitsOf(ys[s])) << pos;
            // Every range holding this x holds the entry: the range of the x alone does.
            ASSERT_LE(index.rangeBegin(xs[s]), pos);
            ASSERT_GT(index.rangeEnd(xs[s]), pos);
        }
    }
}

// The program's step steers with the cosine and sine of the frame that sensing built from the
// negated heading; that equals the heading's own only if the double cosine is even and
// the sine odd to the last bit, for every finite heading.
TEST(WorldStep, FrameOfTheNegatedHeadingGivesTheHeadingsCosineAndSine) {
    std::vector<float> headings;
    // The headings motion produces, densely, and with each neighbouring float.
    for (float h = -1.6f; h < 4.8f; h += 1.0e-5f) {
        headings.push_back(h);
        headings.push_back(std::nextafter(h, 10.0f));
    }
    // Far out and tiny, where the library takes other paths.
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> exponent(-40.0f, 38.0f);
    for (int i = 0; i < 200000; ++i) headings.push_back(std::pow(10.0f, exponent(rng)));
    headings.push_back(0.0f);
    headings.push_back(std::numeric_limits<float>::denorm_min());
    headings.push_back(std::numeric_limits<float>::max());
    for (float magnitude : headings) {
        for (float h : {magnitude, -magnitude}) {
            const FrameRotation frame(h);
            const float cosH = static_cast<float>(std::cos(double(h)));
            const float sinH = static_cast<float>(std::sin(double(h)));
            ASSERT_EQ(bitsOf(frame.cosNeg), bitsOf(cosH)) << h;
            ASSERT_EQ(bitsOf(-frame.sinNeg), bitsOf(sinH)) << h;
        }
    }
}

// The step keeps, per slot, what each Agent sensed and how its controller answered; a
// digesting Predator keeps what it had. The probe reads the last Prey's input vector.
TEST(WorldStep, KeepsEachAgentsInputsAndOutputsBySlot) {
    for (StepKind kind : {StepKind::program, StepKind::reference}) {
        SCOPED_TRACE(kind == StepKind::program ? "program's step" : "reference step");
        HandWorld world;
        world.step->kind = kind;
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> position(-3.0f, 3.0f);
        std::uniform_real_distribution<float> weight(-1.0f, 1.0f);
        for (auto& genome : world.genomes)
            for (float& w : genome) w = weight(rng);
        for (Agent& a : world.predators) world.place(a, position(rng), position(rng), 0.1f, 0.0f);
        for (Agent& a : world.prey) world.place(a, position(rng), position(rng), 0.0f, -0.1f);
        world.attach(6, 30);
        world.predators[2].digestTimer = 4;
        const InputVector marker = [] {
            InputVector v;
            v.fill(42.0f);
            return v;
        }();
        world.step->readings.predatorInputs[2] = marker;

        // What each Agent will sense and answer, from a copy of the world before the step.
        std::array<InputVector, 30> expectedPrey;
        std::array<ControlOutput, 30> expectedOutputs;
        for (int i = 0; i < 30; ++i) {
            expectedPrey[i] = world.senseByReference(world.prey[i]);
            expectedOutputs[i] = evaluateNetwork(world.genomeOf(world.prey[i]), expectedPrey[i]);
        }
        const InputVector expectedPredator = world.senseByReference(world.predators[0]);

        world.step->run(world.view());
        const AgentReadings& readings = world.step->readings;
        for (int i = 0; i < 30; ++i) {
            for (int k = 0; k < kInputCount; ++k)
                ASSERT_EQ(bitsOf(readings.preyInputs[i][k]), bitsOf(expectedPrey[i][k])) << i;
            EXPECT_EQ(bitsOf(readings.preyOutputs[i].forward), bitsOf(expectedOutputs[i].forward));
            EXPECT_EQ(bitsOf(readings.preyOutputs[i].lateral), bitsOf(expectedOutputs[i].lateral));
        }
        EXPECT_EQ(readings.predatorInputs[0], expectedPredator);
        EXPECT_EQ(readings.predatorInputs[2], marker) << "a digesting Predator does not sense";
        EXPECT_EQ(&world.step->lastSensedInputs(), &readings.preyInputs[29]);
    }
}

// The program step's packed neighbour and wall terms against the reference's scalar ones,
// in arenas narrower than twice the sense range (both walls of an axis in range), with
// Agents on, beyond and within 0.001 of a wall, on top of each other and far apart, and
// velocities that are not numbers; on every vector path.
TEST(WorldStep, PackedTermsMatchTheReferenceInAnyArena) {
    HandWorld world;
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int wallTerms = 0;
    int notNumbers = 0;
    std::vector<VectorPath> paths;
    for (VectorPath path : kVectorPaths)
        if (canRun(path)) paths.push_back(path);
    for (int trial = 0; trial < 400; ++trial) {
        SCOPED_TRACE(trial);
        const float width = trial % 2 ? 10.0f : 0.5f + 4.0f * unit(rng);
        const float height = trial % 3 ? 8.0f : 0.5f + 4.0f * unit(rng);
        world.arena = {-width / 2, width / 2, -height / 2, height / 2};
        auto coordinate = [&](float low, float high) {
            switch (std::uniform_int_distribution<int>(0, 5)(rng)) {
                case 0:
                    return low;
                case 1:
                    return high - 0.0004f;
                case 2:
                    return high + 0.3f * unit(rng);
                default:
                    return low + (high - low) * unit(rng);
            }
        };
        for (int i = 0; i < kMaxPredators + kMaxPrey; ++i) {
            Agent& a = i < kMaxPredators ? world.predators[i] : world.prey[i - kMaxPredators];
            world.place(a, coordinate(world.arena.xMin, world.arena.xMax),
                        coordinate(world.arena.yMin, world.arena.yMax), unit(rng) - 0.5f,
                        unit(rng) - 0.5f);
            a.heading = 6.0f * unit(rng) - 1.5f;
        }
        world.prey[3].x = world.prey[4].x;  // one on top of another
        world.prey[3].y = world.prey[4].y;
        const int predators = std::uniform_int_distribution<int>(1, kMaxPredators)(rng);
        const int prey = std::uniform_int_distribution<int>(1, kMaxPrey)(rng);
        world.attach(predators, prey);
        // Now and then a velocity that is not a number, which must stay one.
        if (trial % 5 == 0) world.prey[trial % prey].vx = std::numeric_limits<float>::quiet_NaN();
        ASSERT_TRUE(world.program.sort(world.view()));
        for (int i = 0; i < predators + prey; ++i) {
            const Agent& a = i < predators ? world.predators[i] : world.prey[i - predators];
            const InputVector expected = world.senseByReference(a);
            for (VectorPath path : paths) {
                world.program.vectorPath = path;
                const InputVector got = world.senseByProgram(a);
                for (int k = 0; k < kInputCount; ++k)
                    ASSERT_EQ(bitsOf(got[k]), bitsOf(expected[k]))
                        << nameOf(path) << (a.isPredator ? ": Predator " : ": Prey ") << a.slot
                        << " input " << k;
            }
            for (int k = kXWallBlock; k < kInputCount; ++k) wallTerms += expected[k] != 0.0f;
            for (int k = 0; k < kXWallBlock; ++k) notNumbers += std::isnan(expected[k]);
        }
    }
    EXPECT_GT(wallTerms, 10000);
    EXPECT_GT(notNumbers, 100);

    // A neighbour exactly at the sum of the radii touches and gives no terms.
    world.arena = kStandardArena;
    Agent& self = world.place(world.prey[0], 0.0f, 0.0f);
    self.heading = 0.0f;
    world.place(world.prey[1], 0.1f, 0.0f);
    world.place(world.prey[2], 0.5f, 0.0f);
    world.place(world.predators[0], 0.0f, 0.12f);  // 0.07 is the sum with a Predator
    world.attach(1, 3);
    ASSERT_TRUE(world.program.sort(world.view()));
    const InputVector expected = world.senseByReference(self);
    ASSERT_EQ(expected[kPreyBlock], 0.0f) << "the touching neighbour uses up its number";
    ASSERT_EQ(expected[kPreyBlock + kTermsPerNeighbour], 0.5f);
    for (VectorPath path : paths) {
        world.program.vectorPath = path;
        EXPECT_EQ(world.senseByProgram(self), expected) << nameOf(path);
    }
}

#if KAV_CHECKS_ON
// Debug and sanitizer builds stop at a broken precondition instead of writing past an array.
TEST(WorldStepChecks, ACaptureBeyondTheListsCapacityStops) {
    auto captures = std::make_unique<CaptureList>();
    captures->count = kMaxCaptures;
    EXPECT_DEATH(captures->add(CaptureEvent{}), "one event per Predator and Prey pair");
}
#endif

}  // namespace
}  // namespace kav
