#include <gtest/gtest.h>

#include <memory>

#include "evo/evaluation.h"
#include "evo/evolution.h"
#include "evo/invariants.h"

namespace kav {
namespace {

// The Genomes of an evolved world, as a snapshot holds them.
struct Snapshot {
    std::unique_ptr<World> world = std::make_unique<World>();
    Snapshot(std::uint32_t seed, int ticks) {
        auto step = std::make_unique<Stepper>();
        world->random.setState(seed);
        setUpWorld(*world, ModelSettings{}, 10, 150);
        TickReport report;
        for (int t = 0; t < ticks; ++t) runTick(*world, *step, report);
    }
    Contestant predators() const { return {world->predatorGenomes.data(), world->predatorCount}; }
    Contestant prey() const { return {world->preyGenomes.data(), world->preyCount}; }
};

TEST(FrozenWorld, AgentsComeBackWithTheirOwnGenomesAndNothingEvolves) {
    const Snapshot hunters(1, 4000), hunted(2, 2000);
    auto world = std::make_unique<World>();
    setUpFrozenWorld(*world, ModelSettings{}, hunters.predators(), hunted.prey(), 99);
    auto step = std::make_unique<Stepper>();
    EvaluationScore score;
    for (int t = 0; t < 3000; ++t) {
        runFrozenTick(*world, *step, score);
        ASSERT_EQ(checkInvariants(*world, step->captures), "") << "tick " << t;
    }
    for (int i = 0; i < world->predatorCount; ++i)
        EXPECT_TRUE(world->predatorGenomes[i] == hunters.world->predatorGenomes[i]) << i;
    for (int i = 0; i < world->preyCount; ++i)
        EXPECT_TRUE(world->preyGenomes[i] == hunted.world->preyGenomes[i]) << i;
    for (int i = 0; i < world->preyCount; ++i) EXPECT_EQ(world->prey[i].generation, 1);
    for (int i = 0; i < world->predatorCount; ++i) EXPECT_EQ(world->predators[i].rank, i);
    EXPECT_GT(score.captures, 100);
    EXPECT_GT(score.starvations, 0);
    // Every caught or dead Prey came back, but those caught in the last tick.
    int caughtLast = 0;
    for (int i = 0; i < world->preyCount; ++i) caughtLast += world->prey[i].captured;
    EXPECT_EQ(score.preyEnds, score.captures + score.preyDeaths - caughtLast);
    EXPECT_GT(score.meanPreyLifetime(), 1.0);
    EXPECT_EQ(score.ticks, 3000);
}

TEST(FrozenWorld, ACellIsReproducedAloneAndItsWorldsDiffer) {
    const Snapshot a(3, 1000);
    auto shared = std::make_unique<Stepper>();
    const std::uint32_t seed = evaluationSeed(7, 1000, 1000, 0);
    const EvaluationScore first = evaluateWorld({}, a.predators(), a.prey(), seed, 600, *shared);
    // Another world in between on the same scratch, then the cell again on a fresh one.
    evaluateWorld({}, a.predators(), a.prey(), evaluationSeed(7, 1000, 1000, 1), 300, *shared);
    auto fresh = std::make_unique<Stepper>();
    const EvaluationScore again = evaluateWorld({}, a.predators(), a.prey(), seed, 600, *fresh);
    EXPECT_EQ(first.captures, again.captures);
    EXPECT_EQ(first.starvations, again.starvations);
    EXPECT_EQ(first.preyLifetimeSum, again.preyLifetimeSum);

    EXPECT_NE(evaluationSeed(7, 1000, 1000, 0), evaluationSeed(7, 1000, 1000, 1));
    EXPECT_NE(evaluationSeed(7, 1000, 2000, 0), evaluationSeed(7, 2000, 1000, 0));
    EXPECT_NE(evaluationSeed(7, 1000, 1000, 0), evaluationSeed(8, 1000, 1000, 0));
}

}  // namespace
}  // namespace kav
