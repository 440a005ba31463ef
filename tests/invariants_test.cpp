// The invariant checker itself, and long runs with it after every tick: with size
// changes up and down to both limits, and at full populations.
#include <cmath>
#include <limits>

#include "robust_support.h"

namespace kav::robust {
namespace {

class InvariantsTest : public ::testing::Test {
protected:
    std::unique_ptr<Population> world = std::make_unique<Population>();
};

TEST_F(InvariantsTest, EachKindOfDamageIsNamed) {
    world->setup(kStandardArena, 0.05f, 0.02f, 12, 120);
    ASSERT_TRUE(runChecked(*world, 30));

    auto expectViolation = [&](auto damage, const char* words) {
        auto copy = std::make_unique<Population>();
        copy->setup(kStandardArena, 0.05f, 0.02f, 12, 120);
        ASSERT_TRUE(runChecked(*copy, 30));
        damage(*copy);
        const std::string failure = checkInvariants(*copy);
        EXPECT_NE(failure.find(words), std::string::npos)
            << "expected \"" << words << "\", got \"" << failure << "\"";
    };
    // Two in-use positions swapped without updating the ranks.
    expectViolation([](Population& p) { std::swap(p.world.preyRanks[3], p.world.preyRanks[4]); },
                    "has rank");
    // A slot listed twice.
    expectViolation([](Population& p) { p.world.predatorRanks[0] = p.world.predatorRanks[1]; },
                    "appears twice");
    // A slot index out of range.
    expectViolation([](Population& p) { p.world.preyRanks[7] = 200; }, "not a slot index");
    // Unused slots out of slot order.
    expectViolation(
        [](Population& p) { std::swap(p.world.preyRanks[150], p.world.preyRanks[151]); },
        "instead of slot");
    // An unused slot among the live positions.
    expectViolation(
        [](Population& p) {
            const int live = p.world.predatorRanks[0];
            std::swap(p.world.predatorRanks[0], p.world.predatorRanks[20]);
            p.world.predators[live].rank = 20;
        },
        "not in use");
    // A rank field out of step with an unchanged list.
    expectViolation([](Population& p) { p.world.prey[p.world.preyRanks[5]].rank += 1; },
                    "has rank");
    expectViolation([](Population& p) { p.world.predatorCount = 41; }, "Predator count 41");
    expectViolation([](Population& p) { p.world.preyCount = 0; }, "Prey count 0");
    expectViolation([](Population& p) { p.step.captures.count = kMaxCaptures + 1; }, "capacity");
    expectViolation(
        [](Population& p) {
            p.step.captures.count = 1;
            p.step.captures.events[0] = CaptureEvent{0, 150, 0.5f};
        },
        "not both in use");
    expectViolation(
        [](Population& p) { p.world.prey[17].x = std::numeric_limits<float>::quiet_NaN(); },
        "Prey slot 17");
    expectViolation(
        [](Population& p) { p.world.predators[3].y = std::numeric_limits<float>::infinity(); },
        "Predator slot 3");
}

TEST_F(InvariantsTest, PositionsBeyondTheCountsAreNotChecked) {
    world->setup(kStandardArena, 0.05f, 0.02f, 5, 50);
    world->world.prey[120].x = std::numeric_limits<float>::quiet_NaN();
    world->world.predators[30].y = std::numeric_limits<float>::infinity();
    EXPECT_EQ(checkInvariants(*world), "");
}

// Size changes drawn from their own generator, so the world's draws stay its own: runs
// of additions up to each limit and removals down to 1, several requests between ticks.
TEST_F(InvariantsTest, HoldAfterEveryTickThroughSizeChanges) {
    world->setup(kStandardArena, 0.05f, 0.02f, 10, 150);
    Random changes(12345);
    bool reachedPredatorLimits[2] = {false, false};
    bool reachedPreyLimits[2] = {false, false};
    int predatorTrend = +1;
    int preyTrend = -1;
    for (int t = 0; t < 3000; ++t) {
        // A trend runs until a limit, then turns; single opposite steps break it up.
        if (world->world.predatorCount == kMaxPredators) predatorTrend = -1;
        if (world->world.predatorCount == 1) predatorTrend = +1;
        if (world->world.preyCount == kMaxPrey) preyTrend = -1;
        if (world->world.preyCount == 1) preyTrend = +1;
        reachedPredatorLimits[0] |= world->world.predatorCount == 1;
        reachedPredatorLimits[1] |= world->world.predatorCount == kMaxPredators;
        reachedPreyLimits[0] |= world->world.preyCount == 1;
        reachedPreyLimits[1] |= world->world.preyCount == kMaxPrey;

        const int draw = changes.next();
        if (draw % 3 != 0) {
            const bool add = draw % 17 == 1 ? predatorTrend < 0 : predatorTrend > 0;
            if (!add || world->world.predatorCount < kMaxPredators)
                world->requestSizeChange(add, true);
        }
        if (draw % 5 != 0) {
            for (int repeat = 0; repeat < 1 + draw % 3; ++repeat) {
                const bool add = draw % 13 == 1 ? preyTrend < 0 : preyTrend > 0;
                if (!add || world->world.preyCount < kMaxPrey) world->requestSizeChange(add, false);
            }
        }
        ASSERT_TRUE(runChecked(*world, 1));
    }
    EXPECT_TRUE(reachedPredatorLimits[0] && reachedPredatorLimits[1]);
    EXPECT_TRUE(reachedPreyLimits[0] && reachedPreyLimits[1]);
}

TEST_F(InvariantsTest, HoldAfterEveryTickAtFullPopulations) {
    world->setup(kStandardArena, 0.05f, 0.02f, kMaxPredators, kMaxPrey);
    ASSERT_EQ(checkInvariants(*world), "");
    std::int64_t generations = 0;
    for (const Agent& a : world->world.prey) generations += a.generation;
    ASSERT_TRUE(runChecked(*world, 2000));
    std::int64_t later = 0;
    for (const Agent& a : world->world.prey) later += a.generation;
    // The run really evolved: Prey were caught or died and were replaced.
    EXPECT_GT(later, generations + 100);
    EXPECT_EQ(world->world.predatorCount, kMaxPredators);
    EXPECT_EQ(world->world.preyCount, kMaxPrey);
}

}  // namespace
}  // namespace kav::robust
