#include <gtest/gtest.h>

#include <cmath>

#include "sim/agent.h"
#include "sim/random.h"
#include "test_world.h"

namespace kav {
namespace {

TEST(Random, FirstOutputsFromStateOne) {
    Random random;
    const int expected[] = {41, 18467, 6334, 26500, 19169};
    for (int value : expected) EXPECT_EQ(random.next(), value);
}

TEST(Random, StateWrapsModulo2To32AndOutputsStayIn15Bits) {
    Random random(0xFFFFFFFFu);
    const int value = random.next();
    EXPECT_EQ(random.state(), 0xFFFFFFFFu * 214013u + 2531011u);
    EXPECT_GE(value, 0);
    EXPECT_LE(value, 32767);
}

TEST(Random, APairOfUnitsIsTwoUnitsInARow) {
    for (std::uint32_t state : {1u, 0xFFFFFFFFu, 0x9E3779B9u}) {
        Random single(state);
        Random paired(state);
        for (int i = 0; i < 3; ++i) {
            const Random::UnitPair pair = paired.unitPair();
            EXPECT_EQ(pair.first, single.unit());
            EXPECT_EQ(pair.second, single.unit());
            EXPECT_EQ(paired.state(), single.state());
        }
    }
}

class AgentMotion : public ::testing::Test {
protected:
    testing::HandWorld world;
    Agent& agent = world.prey[0];
};

TEST_F(AgentMotion, RightWallReflectsEndPositionAndNextBeginTickReflectsVelocity) {
    world.place(agent, 4.5f, 0.0f);
    agent.nextVx = 1.0f;
    agent.nextVy = 0.0f;
    world.move(agent);
    EXPECT_FLOAT_EQ(agent.nextX, 4.5f);
    EXPECT_TRUE(agent.hitRight);
    EXPECT_TRUE(agent.hitWall);
    EXPECT_FALSE(agent.hitLeft || agent.hitTop || agent.hitBottom);
    EXPECT_EQ(agent.vx, 1.0f);
    EXPECT_EQ(agent.heading, 0.0f);
    agent.beginTick(ModelSettings{}.energyPerTick);
    EXPECT_EQ(agent.vx, -1.0f);
    EXPECT_EQ(agent.vy, 0.0f);
    EXPECT_FLOAT_EQ(agent.x, 4.5f);
}

TEST_F(AgentMotion, EndPositionExactlyOnTheWallIsNotReflected) {
    world.place(agent, 4.5f, 3.5f);
    agent.nextVx = 0.5f;
    agent.nextVy = 0.5f;
    world.move(agent);
    EXPECT_EQ(agent.nextX, 5.0f);
    EXPECT_EQ(agent.nextY, 4.0f);
    EXPECT_FALSE(agent.hitWall);
}

TEST_F(AgentMotion, StartOutsideTheArenaIsReflectedBack) {
    world.place(agent, 5.9f, 0.0f);
    world.move(agent);
    EXPECT_FLOAT_EQ(agent.nextX, 4.1f);
    EXPECT_TRUE(agent.hitRight);
    EXPECT_FALSE(agent.dead);
}

TEST_F(AgentMotion, CornerReflectsBothAxesAndVelocityOncePerAxis) {
    world.place(agent, -4.8f, -3.9f);
    agent.nextVx = -0.5f;
    agent.nextVy = -0.3f;
    world.move(agent);
    EXPECT_FLOAT_EQ(agent.nextX, -4.7f);
    EXPECT_FLOAT_EQ(agent.nextY, -3.8f);
    EXPECT_TRUE(agent.hitLeft && agent.hitBottom && agent.hitWall);
    agent.beginTick(ModelSettings{}.energyPerTick);
    EXPECT_EQ(agent.vx, 0.5f);
    EXPECT_FLOAT_EQ(agent.vy, 0.3f);
}

TEST_F(AgentMotion, DeathBoundsAreTwiceTheArenaAndStrict) {
    // The end positions come out of the last reflection of each axis: a start far
    // beyond the left (bottom) wall is mirrored to the far right (top).
    struct Case {
        float startX, startY;
        float endX, endY;
        bool dies;
    } cases[] = {{-20.0f, 0.0f, 10.0f, 0.0f, true},
                 {-19.99f, 0.0f, 9.99f, 0.0f, false},
                 {0.0f, -16.0f, 0.0f, 8.0f, true},
                 {0.0f, -15.99f, 0.0f, 7.99f, false},
                 {9.0f, 0.0f, 1.0f, 0.0f, false}};
    for (const Case& c : cases) {
        world.setUp(agent, 0, false);
        world.place(agent, c.startX, c.startY);
        world.move(agent);
        EXPECT_FLOAT_EQ(agent.nextX, c.endX);
        EXPECT_FLOAT_EQ(agent.nextY, c.endY);
        EXPECT_EQ(bool(agent.dead), c.dies) << "ended at " << agent.nextX << "," << agent.nextY;
    }
}

TEST_F(AgentMotion, EnergyExactlyZeroSurvivesNegativeDies) {
    agent.energy = 0.0f;
    world.move(agent);
    EXPECT_FALSE(agent.dead);
    agent.energy = -1e-7f;
    world.move(agent);
    EXPECT_TRUE(agent.dead);
    agent.energy = 5.0f;
    world.move(agent);
    EXPECT_TRUE(agent.dead) << "move never clears dead";
}

TEST_F(AgentMotion, PredatorStopsAfterCaptureAndCountsItsTicks) {
    Agent& predator = world.predators[0];
    world.place(predator, 1.0f, 1.0f, 0.4f, 0.2f);
    predator.captured = 1;
    predator.digestTimer = 0;
    predator.ticksSinceCatch = 0;
    predator.nextX = 1.2f;
    predator.nextY = 1.1f;
    predator.heading = 0.7f;
    predator.beginTick(ModelSettings{}.energyPerTick);
    EXPECT_EQ(predator.vx, 0.0f);
    EXPECT_EQ(predator.vy, 0.0f);
    EXPECT_FALSE(predator.captured);
    EXPECT_EQ(predator.digestTimer, -1);
    EXPECT_EQ(predator.ticksSinceCatch, 1);
    EXPECT_EQ(predator.prevHeading, 0.7f);
    EXPECT_EQ(predator.x, 1.2f);
    EXPECT_FLOAT_EQ(predator.energy, 1.01f);

    // A captured Prey keeps its velocity and its counters stay untouched.
    world.place(agent, 0.0f, 0.0f, 0.3f, 0.0f);
    agent.captured = 1;
    agent.ticksSinceCatch = 7;
    agent.beginTick(ModelSettings{}.energyPerTick);
    EXPECT_EQ(agent.vx, 0.3f);
    EXPECT_EQ(agent.ticksSinceCatch, 7);
}

TEST(HeadingFromVelocity, CoversTheQuadrantsAndRest) {
    EXPECT_EQ(headingFromVelocity(0.0f, 0.0f, 1.25f), 1.25f);
    EXPECT_EQ(headingFromVelocity(0.0f, 0.5f, 0.0f), 1.5707964f);
    EXPECT_EQ(headingFromVelocity(0.0f, -0.5f, 0.0f), -1.5707964f);
    EXPECT_EQ(headingFromVelocity(0.00005f, 1.0f, 0.0f), 1.5707964f);
    EXPECT_EQ(headingFromVelocity(0.0001f, 0.0f, 2.0f), 2.0f) << "0.0001 is still at rest";
    EXPECT_NEAR(headingFromVelocity(-1.0f, -1.0f, 0.0f), 3.9269908f, 1e-6f);
    EXPECT_NEAR(headingFromVelocity(-1.0f, 0.0f, 0.0f), 3.1415927f, 1e-6f);
    EXPECT_NEAR(headingFromVelocity(1.0f, 1.0f, 0.0f), 0.7853982f, 1e-6f);
    EXPECT_NEAR(headingFromVelocity(0.5f, -0.5f, 0.0f), -0.7853982f, 1e-6f);
}

TEST(AgentInit, StartStateAndThreeDrawsInOrder) {
    Random random;
    Agent agent;
    agent.init(ModelSettings{}, kSexualMode, 3, true, random);

    Random replay;
    const int r1 = replay.next(), r2 = replay.next(), r3 = replay.next();
    EXPECT_EQ(random.state(), replay.state());
    EXPECT_EQ(agent.x, static_cast<float>(-5.0 + r1 / 32767.0 * 10.0));
    EXPECT_EQ(agent.y, static_cast<float>(-4.0 + r2 / 32767.0 * 8.0));
    EXPECT_EQ(agent.heading,
              static_cast<float>(r3 / 32767.0 * 2.0 * double(3.14f) - double(3.14f)));
    EXPECT_EQ(agent.nextX, agent.x);
    EXPECT_EQ(agent.nextY, agent.y);
    EXPECT_EQ(agent.energy, 1.01f);
    EXPECT_EQ(agent.age, 0);
    EXPECT_EQ(agent.generation, 1);
    EXPECT_EQ(agent.digestTimer, -1);
    EXPECT_EQ(agent.ticksSinceCatch, 0);
    EXPECT_EQ(agent.rank, 3);
    EXPECT_EQ(agent.slot, 3);
    EXPECT_TRUE(agent.isPredator);
    EXPECT_FALSE(agent.dead || agent.captured || agent.hitWall || agent.hitLeft || agent.hitRight ||
                 agent.hitTop || agent.hitBottom);
    EXPECT_EQ(agent.vx, 0.0f);
    EXPECT_EQ(agent.nextVy, 0.0f);
    EXPECT_EQ(agent.radius, 0.02f);
    EXPECT_EQ(agent.senseRange, 2.2f);
    EXPECT_EQ(agent.reproMode, 'i');
}

}  // namespace
}  // namespace kav
