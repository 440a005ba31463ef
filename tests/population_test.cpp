#include <gtest/gtest.h>

#include "evo/population.h"
#include "test_world.h"

namespace kav {
namespace {

using testing::rankProblems;
using testing::standardWorld;

TEST(PopulationSetup, FreshWorldDrawsStartPositionsThenGenomes) {
    auto world = standardWorld();
    EXPECT_EQ(world->world.predatorCount, 10);
    EXPECT_EQ(world->world.preyCount, 150);
    EXPECT_EQ(world->world.tick, 0);

    Random replay;
    for (int i = 0; i < 720; ++i) replay.next();
    EXPECT_EQ(world->world.predatorGenomes[0][0],
              static_cast<float>(replay.next() / 32768.0 - 0.5));
    for (int i = 1; i < 15120 - 1; ++i) replay.next();
    EXPECT_EQ(world->world.preyGenomes[199][62], static_cast<float>(replay.next() / 32768.0 - 0.5));
    EXPECT_EQ(world->world.random.state(), replay.state());

    for (int k = 0; k < kMaxPredators; ++k) EXPECT_EQ(world->world.predatorRanks[k], k);
    for (int k = 0; k < kMaxPrey; ++k) EXPECT_EQ(world->world.preyRanks[k], k);
    EXPECT_EQ(world->world.probeSpreadE, 1.0f);
    EXPECT_EQ(world->world.settings.mutationAmplitude, 0.05f);
    EXPECT_EQ(world->world.prey[0].senseRange, 2.0f);
    EXPECT_EQ(world->world.predators[39].senseRange, 2.2f);
    EXPECT_EQ(world->world.settings.arena.xMax, 5.0f);
    EXPECT_EQ(world->world.settings.arena.yMin, -4.0f);
}

TEST(PopulationTick, SizeRequestsHoldOneChangeAndRespectTheFloor) {
    auto world = standardWorld();
    world->runTick();

    world->requestSizeChange(true, false);
    world->requestSizeChange(true, false);
    world->runTick();
    EXPECT_EQ(world->world.preyCount, 151) << "two adds before a tick add one Agent";
    EXPECT_EQ(rankProblems(*world), "");

    world->requestSizeChange(true, true);
    world->requestSizeChange(false, true);
    world->runTick();
    EXPECT_EQ(world->world.predatorCount, 9) << "an add followed by a remove removes";
    EXPECT_EQ(world->world.predatorSizeRequest, 0);

    while (world->world.predatorCount > 1) {
        world->requestSizeChange(false, true);
        world->runTick();
        ASSERT_EQ(rankProblems(*world), "");
    }
    world->requestSizeChange(false, true);
    world->runTick();
    EXPECT_EQ(world->world.predatorCount, 1);
    EXPECT_EQ(world->world.predatorSizeRequest, 0);
}

TEST(PopulationTick, AddedAgentIsAnOffspringAtTheBottom) {
    auto world = standardWorld();
    world->runTick();
    const auto generationBefore = world->world.predators[10].generation;
    world->requestSizeChange(true, true);
    EXPECT_TRUE(world->world.predators[10].dead);
    world->runTick();
    EXPECT_EQ(world->world.predatorCount, 11);
    EXPECT_EQ(world->world.predators[10].generation, generationBefore + 1);
    EXPECT_EQ(world->world.predators[10].age, 1);
    EXPECT_EQ(rankProblems(*world), "");
}

TEST(PopulationTick, RemovingTheBestRankedLiftsEveryoneBelow) {
    auto world = standardWorld();
    // Put the highest slot in use (9) at the top of the Predator list by hand.
    auto& ranks = world->world.predatorRanks;
    for (int p = 9; p > 0; --p) std::swap(ranks[p], ranks[p - 1]);
    for (int p = 0; p < 10; ++p) world->world.predators[ranks[p]].rank = p;
    ASSERT_EQ(rankProblems(*world), "");

    world->requestSizeChange(false, true);
    // Keep the tick from replacing anyone so that the list shows the removal alone.
    for (auto& p : world->world.predators) p.ticksSinceCatch = 0;
    world->runTick();
    EXPECT_EQ(world->world.predatorCount, 9);
    EXPECT_EQ(ranks[9], 9);
    for (int p = 0; p < 9; ++p) EXPECT_EQ(ranks[p], p) << "slot " << p << " moved up one place";
}

TEST(PopulationTick, StarvationAfterFiftyTicksWithoutACatch) {
    auto world = standardWorld();
    world->runTick();
    for (auto& p : world->world.predators) p.dead = 0;
    world->world.predators[0].ticksSinceCatch = 50;
    world->world.predators[1].ticksSinceCatch = 51;
    const auto generation0 = world->world.predators[0].generation;
    const auto generation1 = world->world.predators[1].generation;
    world->world.predators[2].ticksSinceCatch = 70;
    world->world.predators[3].dead = 1;
    const EventCounts before = world->events();
    world->runTick();
    EXPECT_EQ(world->world.predators[0].generation, generation0);
    EXPECT_EQ(world->world.predators[1].generation, generation1 + 1);
    EXPECT_EQ(world->events().starvations, before.starvations + 2);
    EXPECT_EQ(world->events().predatorDeaths, before.predatorDeaths + 1);
    EXPECT_EQ(world->events().predatorBirths, before.predatorBirths + 3);
}

TEST(PopulationTick, RankClimbComparesSuccessRatiosWithTheNeighbourAbove) {
    auto world = standardWorld();
    world->runTick();
    for (auto& p : world->world.predators) {
        p.dead = 0;
        p.catches = 0;
        p.ticksSinceCatch = 0;
        p.captured = 0;
    }
    auto& ranks = world->world.predatorRanks;
    Agent& top = world->world.predators[ranks[0]];
    Agent& second = world->world.predators[ranks[1]];
    Agent& third = world->world.predators[ranks[2]];
    // 1 catch at age 20 (1/70) above; the climber has 1 catch at age 10 (1/60).
    top.catches = 1;
    top.age = 20;
    second.catches = 1;
    second.age = 20;
    third.catches = 1;
    third.age = 10;
    third.captured = 1;
    third.digestTimer = 0;
    // The tick's begin-tick adds one to the age of lower slots first; keep the
    // comparison exact by making the climber the highest slot of the three.
    ASSERT_GT(third.slot, second.slot);
    ASSERT_GT(third.slot, top.slot);
    const int climber = third.slot;
    world->runTick();
    EXPECT_EQ(world->world.predators[climber].rank, 0);
    EXPECT_EQ(ranks[0], climber);
    EXPECT_EQ(rankProblems(*world), "");

    EXPECT_GT(successRatio(third), 0.0);
    Agent a, b;
    a.catches = b.catches = 2;
    a.age = b.age = 30;
    EXPECT_FALSE(successRatio(b) > successRatio(a)) << "ties do not climb";
}

TEST(PopulationTick, ReportsFollowTheTickCounterEvery200) {
    auto world = standardWorld();
    world->world.tick = 199;
    EXPECT_TRUE(world->runTick());
    EXPECT_EQ(world->lastReport().tick, 200);
    EXPECT_EQ(world->lastReport().prey.count, 150);
    EXPECT_FLOAT_EQ(world->lastReport().sexualRankPct, 50.0f);
    for (int i = 0; i < 199; ++i) ASSERT_FALSE(world->runTick()) << "tick " << world->world.tick;
    EXPECT_EQ(world->lastReport().tick, 200);
    EXPECT_TRUE(world->runTick());
    EXPECT_EQ(world->lastReport().tick, 400);
}

TEST(PopulationTick, LongRunKeepsTheRankListsAndEvolves) {
    auto world = standardWorld(5);
    std::int64_t catches = 0;
    int predatorsAdded = 0;
    int preyAdded = 0;
    for (int t = 0; t < 3000; ++t) {
        if (t % 300 == 100) {
            world->requestSizeChange(true, t % 600 == 100);
            (t % 600 == 100 ? predatorsAdded : preyAdded) += 1;
        }
        if (t % 300 == 250) world->requestSizeChange(false, t % 600 == 250);
        world->runTick();
        for (int i = 0; i < world->world.predatorCount; ++i)
            if (world->world.predators[i].captured) ++catches;
        ASSERT_EQ(rankProblems(*world), "") << "tick " << world->world.tick;
    }
    std::int64_t preyBirths = 0;
    for (int i = 0; i < world->world.preyCount; ++i)
        preyBirths += world->world.prey[i].generation - 1;
    EXPECT_GT(catches, 0);
    EXPECT_GT(preyBirths, 0);

    // Every birth raised a slot's generation by one; every birth replaced a capture, a
    // death or a starvation, or filled an added slot.
    const EventCounts& events = world->events();
    std::int64_t generations = 0;
    for (const Agent& a : world->world.predators) generations += a.generation - 1;
    EXPECT_EQ(events.predatorBirths, generations);
    generations = 0;
    for (const Agent& a : world->world.prey) generations += a.generation - 1;
    EXPECT_EQ(events.preyBirths, generations);
    EXPECT_EQ(events.captures, catches);
    EXPECT_GT(events.starvations, 0);
    EXPECT_EQ(events.predatorBirths, events.starvations + events.predatorDeaths + predatorsAdded);
    // Captures of the last tick are replaced at the next one.
    std::int64_t caughtNow = 0;
    for (int i = 0; i < world->world.preyCount; ++i) caughtNow += world->world.prey[i].captured;
    EXPECT_EQ(events.preyBirths, events.captures - caughtNow + events.preyDeaths + preyAdded);
}

}  // namespace
}  // namespace kav
