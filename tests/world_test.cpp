// The world as a value: copies run on as the original, one step scratch serves many worlds,
// and equality sees every field by its bits.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "evo/evolution.h"
#include "evo/world.h"
#include "sim/stepper.h"

namespace kav {
namespace {

std::unique_ptr<World> evolvedWorld(std::uint32_t seed, int predators, int prey, int ticks,
                                    Stepper& step) {
    auto world = std::make_unique<World>();
    world->random.setState(seed);
    setUpWorld(*world, ModelSettings{}, predators, prey);
    TickReport report;
    for (int t = 0; t < ticks; ++t) runTick(*world, step, report);
    return world;
}

TEST(WorldValue, CopiesSteppedInTurnOnOneScratchStayEqual) {
    auto step = std::make_unique<Stepper>();
    auto original = evolvedWorld(3, 40, 200, 1000, *step);
    auto copy = std::make_unique<World>(*original);
    // A world of other sizes shares the scratch too, so that what the step keeps from tick to
    // tick comes from another world at every tick.
    auto other = evolvedWorld(8, 7, 90, 10, *step);
    // The copy also runs alone on a scratch of its own, as a world that was never copied.
    auto alone = std::make_unique<World>(*original);
    auto ownStep = std::make_unique<Stepper>();
    TickReport a, b, c, d;
    for (int t = 0; t < 5000; ++t) {
        const bool reported = runTick(*original, *step, a);
        runTick(*other, *step, c);
        runTick(*copy, *step, b);
        runTick(*alone, *ownStep, d);
        if (reported) {
            ASSERT_EQ(a.probeE.spread, b.probeE.spread) << "tick " << original->tick;
        }
        if (t % 500 == 499) {
            ASSERT_EQ(firstDifference(*original, *copy), "") << "tick " << original->tick;
            ASSERT_EQ(firstDifference(*original, *alone), "") << "tick " << original->tick;
        }
    }
    EXPECT_TRUE(*original == *copy);
    EXPECT_GT(original->events.captures, 0);
}

TEST(WorldValue, RestoringAnEarlierCopyReplaysTheSameFuture) {
    auto step = std::make_unique<Stepper>();
    auto world = evolvedWorld(5, 10, 150, 300, *step);
    const auto keyframe = std::make_unique<World>(*world);
    TickReport report;
    for (int t = 0; t < 2000; ++t) {
        if (t == 700) requestSizeChange(*world, false, false);
        runTick(*world, *step, report);
    }
    const auto future = std::make_unique<World>(*world);
    ASSERT_FALSE(*future == *keyframe);

    *world = *keyframe;
    for (int t = 0; t < 2000; ++t) {
        if (t == 700) requestSizeChange(*world, false, false);
        runTick(*world, *step, report);
    }
    EXPECT_EQ(firstDifference(*world, *future), "");
}

TEST(WorldValue, EqualityComparesFloatsByTheirBits) {
    auto step = std::make_unique<Stepper>();
    const auto world = evolvedWorld(1, 10, 150, 20, *step);
    auto other = std::make_unique<World>(*world);
    EXPECT_EQ(firstDifference(*world, *other), "");

    other->prey[17].vx = std::nextafter(other->prey[17].vx, 10.0f);
    EXPECT_EQ(firstDifference(*world, *other), "prey[17].vx");
    *other = *world;
    other->predatorGenomes[3][62] += 1.0f;
    EXPECT_EQ(firstDifference(*world, *other), "predatorGenomes[3][62]");
    *other = *world;
    other->settings.drag = 0.2f;
    EXPECT_EQ(firstDifference(*world, *other), "settings.drag");
    *other = *world;
    other->random.next();
    EXPECT_FALSE(*other == *world);

    // A NaN equals itself; -0 and 0 differ.
    auto nan = std::make_unique<World>(*world);
    nan->prey[0].energy = std::numeric_limits<float>::quiet_NaN();
    auto nanCopy = std::make_unique<World>(*nan);
    EXPECT_TRUE(*nan == *nanCopy);
    nan->prey[0].energy = 0.0f;
    nanCopy->prey[0].energy = -0.0f;
    EXPECT_EQ(firstDifference(*nan, *nanCopy), "prey[0].energy");
}

}  // namespace
}  // namespace kav
