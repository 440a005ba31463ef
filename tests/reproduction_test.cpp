#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "evo/population.h"
#include "test_world.h"

namespace kav {
namespace {

using testing::rankProblems;

// A world whose Genomes are set by the test: every weight of a slot equals a value that
// tells the slot apart, so an offspring's genes show which parent each came from.
class Reproduction : public ::testing::Test {
protected:
    std::unique_ptr<Population> world = testing::standardWorld();

    void markGenomes() {
        for (int s = 0; s < kMaxPrey; ++s) world->world.preyGenomes[s].fill(float(100 * (s + 1)));
        for (int s = 0; s < kMaxPredators; ++s)
            world->world.predatorGenomes[s].fill(float(-100 * (s + 1)));
    }

    // Applies the coin and mutation draws the way reproduction must, gene by gene.
    static void expectOffspring(const float* child, const float* first, const float* second,
                                Random replay, float amplitude) {
        for (int g = 0; g < kGenomeSize; ++g) {
            const int coin = static_cast<int>(2.0 * replay.unit());
            const double m = 2.0 * (replay.unit() * amplitude) - amplitude;
            const float expected = static_cast<float>(double(coin == 0 ? first[g] : second[g]) + m);
            ASSERT_EQ(child[g], expected) << "gene " << g;
        }
    }

    void setPreyCount(int count) { world->world.preyCount = count; }
    void setPredatorCount(int count) { world->world.predatorCount = count; }
};

TEST_F(Reproduction, MovesTheDeadToTheBottomAndDraws130Numbers) {
    markGenomes();
    Agent& dead = world->world.prey[world->world.preyRanks[3]];
    const int deadSlot = dead.slot;
    const auto generation = dead.generation;
    const Random before = world->world.random;
    world->reproduce(dead);

    EXPECT_EQ(world->world.preyRanks[149], deadSlot);
    EXPECT_EQ(dead.rank, 149);
    EXPECT_EQ(rankProblems(*world), "");

    Random replay = before;
    for (int i = 0; i < 130; ++i) replay.next();
    EXPECT_EQ(world->world.random.state(), replay.state())
        << "2 walk + 126 gene + 2 placement draws";

    EXPECT_EQ(dead.generation, generation + 1);
    EXPECT_EQ(dead.age, 1);
    EXPECT_FLOAT_EQ(dead.energy, 1.01f);
    EXPECT_EQ(dead.catches, 0);
    EXPECT_FALSE(dead.dead);
    EXPECT_EQ(dead.vx, 0.0f);
    EXPECT_EQ(dead.x, dead.nextX);
}

TEST_F(Reproduction, PreyParentsFollowTheWalkLengths) {
    markGenomes();
    Agent& dead = world->world.prey[world->world.preyRanks[0]];
    Random replay = world->world.random;
    const int a = static_cast<int>(replay.unit() * 150 / 10.0 + 1.0);
    const int b = static_cast<int>(replay.unit() * 150 / 10.0 + 1.0);
    // After the dead Prey went to the bottom, position p holds the Prey at p + 1 before.
    std::array<std::int32_t, kMaxPrey> after = world->world.preyRanks;
    std::rotate(after.begin(), after.begin() + 1, after.begin() + 150);
    const Agent& first = world->world.prey[after[a % 150]];
    const Agent& second = world->world.prey[after[(a + b) % 150]];
    const float firstX = first.nextX;
    std::array<float, kGenomeSize> firstGenome, secondGenome;
    std::copy(world->world.genomeOf(first), world->world.genomeOf(first) + kGenomeSize,
              firstGenome.begin());
    std::copy(world->world.genomeOf(second), world->world.genomeOf(second) + kGenomeSize,
              secondGenome.begin());

    world->reproduce(dead);
    expectOffspring(world->world.genomeOf(dead), firstGenome.data(), secondGenome.data(), replay,
                    0.05f);
    EXPECT_LE(std::fabs(dead.nextX - firstX), 0.2f + 1e-6f);
    EXPECT_EQ(dead.heading, first.heading);
}

TEST_F(Reproduction, TwoPreyMakeTheDeadItsOwnFirstParent) {
    markGenomes();
    setPreyCount(2);
    Agent& dead = world->world.prey[0];
    Agent& other = world->world.prey[1];
    const std::array<float, kGenomeSize> deadGenome = world->world.preyGenomes[0];
    const std::array<float, kGenomeSize> otherGenome = world->world.preyGenomes[1];
    const float deadX = dead.nextX, deadY = dead.nextY;
    Random replay = world->world.random;
    replay.next();
    replay.next();  // walk lengths are 1 with 2 Prey

    world->reproduce(dead);
    EXPECT_EQ(world->world.preyRanks[0], 1);
    EXPECT_EQ(world->world.preyRanks[1], 0);
    expectOffspring(world->world.genomeOf(dead), deadGenome.data(), otherGenome.data(), replay,
                    0.05f);
    EXPECT_LE(std::fabs(dead.nextX - deadX), 0.2f + 1e-6f) << "placed near itself";
    EXPECT_LE(std::fabs(dead.nextY - deadY), 0.2f + 1e-6f);
    EXPECT_EQ(other.rank, 0);
}

TEST_F(Reproduction, SingleAgentIsBothParents) {
    markGenomes();
    setPreyCount(1);
    Agent& only = world->world.prey[0];
    const std::array<float, kGenomeSize> genome = world->world.preyGenomes[0];
    Random replay = world->world.random;
    replay.next();
    replay.next();
    world->reproduce(only);
    expectOffspring(world->world.genomeOf(only), genome.data(), genome.data(), replay, 0.05f);
    EXPECT_EQ(only.rank, 0);
}

TEST_F(Reproduction, FewPredatorsWalkNowhereSoTheBestIsBothParents) {
    markGenomes();
    setPredatorCount(5);
    Agent& dead = world->world.predators[world->world.predatorRanks[2]];
    const int bestSlot = world->world.predatorRanks[0];
    const std::array<float, kGenomeSize> best = world->world.predatorGenomes[bestSlot];
    const int digest = dead.digestTimer;
    Random replay = world->world.random;
    replay.next();
    replay.next();
    world->reproduce(dead);
    expectOffspring(world->world.genomeOf(dead), best.data(), best.data(), replay, 0.05f);
    EXPECT_EQ(dead.ticksSinceCatch, 1);
    EXPECT_EQ(dead.digestTimer, digest - 1) << "reproduction leaves the digest timer to begin-tick";
    EXPECT_EQ(rankProblems(*world), "");
}

TEST_F(Reproduction, PredatorWalkLengthsScaleWithTheCount) {
    markGenomes();
    setPredatorCount(40);
    Agent& dead = world->world.predators[world->world.predatorRanks[39]];
    Random replay = world->world.random;
    const int a = static_cast<int>(replay.unit() * 40 / 5.0);
    const int b = static_cast<int>(replay.unit() * 40 / 5.0);
    ASSERT_LE(a, 7);
    const std::array<float, kGenomeSize> first =
        world->world.predatorGenomes[world->world.predatorRanks[a % 40]];
    const std::array<float, kGenomeSize> second =
        world->world.predatorGenomes[world->world.predatorRanks[(a + b) % 40]];
    world->reproduce(dead);
    expectOffspring(world->world.genomeOf(dead), first.data(), second.data(), replay, 0.05f);
}

}  // namespace
}  // namespace kav
