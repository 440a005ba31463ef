#include <gtest/gtest.h>

#include <cmath>

#include "test_world.h"

namespace kav {
namespace {

class Sensing : public ::testing::Test {
protected:
    testing::HandWorld world;
    InputVector inputs{};

    // The reference step's input vector, which the program's step must give to the bit on
    // every vector path.
    void sense(const Agent& self) {
        inputs = world.senseByReference(self);
        ASSERT_TRUE(world.program.sort(world.view()));
        for (VectorPath path : kVectorPaths) {
            if (!canRun(path)) continue;
            world.program.vectorPath = path;
            const InputVector program = world.senseByProgram(self);
            for (int i = 0; i < kInputCount; ++i)
                EXPECT_EQ(testing::bitsOf(program[i]), testing::bitsOf(inputs[i]))
                    << nameOf(path) << " input " << i;
        }
    }
    void sortIndexes() { world.reference.sortIndexes(world.view()); }

    // Every input outside [first, last) is zero.
    void expectZeroOutside(int first, int last) {
        for (int i = 0; i < kInputCount; ++i) {
            if (i < first || i >= last) {
                EXPECT_EQ(inputs[i], 0.0f) << "input " << i;
            }
        }
    }
};

TEST_F(Sensing, PredatorSeesAPreyAheadScaledWithRelativeVelocity) {
    Agent& predator = world.place(world.predators[0], 0.0f, 0.0f, 0.0f, 0.5f);
    predator.heading = 1.5707964f;
    world.place(world.prey[0], 0.0f, 1.0f, 0.1f, 0.0f);
    world.attach(1, 1);
    sense(predator);
    EXPECT_NEAR(inputs[0], 1.0f, 1e-6f);
    EXPECT_NEAR(inputs[1], 0.0f, 1e-6f);
    EXPECT_NEAR(inputs[2], -0.5f, 1e-6f);
    EXPECT_NEAR(inputs[3], -0.1f, 1e-6f);
    expectZeroOutside(0, 4);
}

TEST_F(Sensing, PreySeesOwnKindRawAndPredatorsScaled) {
    Agent& self = world.place(world.prey[0], 0.0f, 0.0f);
    world.place(world.prey[1], 0.5f, 0.0f);
    world.place(world.predators[0], 0.0f, -0.5f);
    world.attach(1, 2);
    sense(self);
    EXPECT_FLOAT_EQ(inputs[0], 0.5f);  // raw offset of the other Prey
    EXPECT_FLOAT_EQ(inputs[16], 0.0f);
    EXPECT_FLOAT_EQ(inputs[17], -2.0f);  // offset / d / d: -0.5 / 0.25
    expectZeroOutside(0, 20);
}

TEST_F(Sensing, PredatorsSeeOtherPredatorsWithinFiveRaw) {
    Agent& self = world.place(world.predators[0], -2.0f, 0.0f);
    world.place(world.predators[1], 2.5f, 0.0f);  // 4.5 away: beyond 2.2, within 5
    world.place(world.predators[2], 3.0f, 0.0f);  // 5.0 away: outside the window
    world.attach(3, 1);
    world.place(world.prey[0], 4.0f, 3.0f);
    sortIndexes();
    sense(self);
    EXPECT_FLOAT_EQ(inputs[16], 4.5f);
    EXPECT_FLOAT_EQ(inputs[17], 0.0f);
    EXPECT_EQ(inputs[20], 0.0f);
    expectZeroOutside(16, 20);
}

TEST_F(Sensing, WindowIsASquareClosedBelowOpenAbove) {
    Agent& self = world.place(world.prey[0], 0.0f, 0.0f);
    world.place(world.prey[1], -2.0f, 0.0f);  // x = A.x - r: inside
    world.place(world.prey[2], 2.0f, 0.0f);   // x = A.x + r: outside
    world.place(world.prey[3], 1.9f, -1.9f);  // a corner of the square, beyond r
    world.attach(1, 4);
    world.predators[0].x = 4.9f;
    sortIndexes();
    sense(self);
    // Nearest first: slot 1 at 2.0, slot 3 at 2.69.
    EXPECT_FLOAT_EQ(inputs[0], -2.0f);
    EXPECT_FLOAT_EQ(inputs[4], 1.9f);
    EXPECT_FLOAT_EQ(inputs[5], -1.9f);
    EXPECT_EQ(inputs[8], 0.0f);
}

TEST_F(Sensing, OverlappingNeighbourUsesUpItsNumber) {
    Agent& self = world.place(world.prey[0], 0.0f, 0.0f);
    world.place(world.prey[1], 0.05f, 0.0f);  // within 0.1, the sum of the radii
    world.place(world.prey[2], 0.5f, 0.0f);
    world.attach(1, 3);
    world.predators[0].x = 4.9f;
    sortIndexes();
    sense(self);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(inputs[i], 0.0f);
    EXPECT_FLOAT_EQ(inputs[4], 0.5f);
}

TEST_F(Sensing, AgentIsNotSkippedWhenAnotherStandsOnItAndComesFirst) {
    Agent& self = world.place(world.prey[5], 1.0f, 1.0f);
    world.place(world.prey[2], 1.0f, 1.0f);  // same point, lower slot: first in x order
    world.place(world.prey[7], 1.5f, 1.0f);
    world.attach(1, 8);
    for (int s : {0, 1, 3, 4, 6}) world.place(world.prey[s], -4.0f + 0.1f * s, -3.5f);
    world.predators[0].x = 4.9f;
    sortIndexes();
    sense(self);
    // k = 0 is slot 2 and k = 1 the Agent itself, both at distance 0; slot 7 is k = 2.
    for (int i = 0; i < 8; ++i) EXPECT_EQ(inputs[i], 0.0f) << i;
    EXPECT_FLOAT_EQ(inputs[8], 0.5f);
}

TEST_F(Sensing, FourNearestWithTiesInXThenSlotOrder) {
    Agent& self = world.place(world.prey[0], 0.0f, 0.0f);
    // Six Prey at distance 1 and one nearer; equal distances go by x, then by slot.
    world.place(world.prey[1], 0.0f, 1.0f);
    world.place(world.prey[2], 1.0f, 0.0f);
    world.place(world.prey[3], -1.0f, 0.0f);
    world.place(world.prey[4], 0.0f, -1.0f);
    world.place(world.prey[5], 0.6f, 0.8f);
    world.place(world.prey[6], 0.3f, 0.3f);
    world.attach(1, 7);
    world.predators[0].x = 4.9f;
    sortIndexes();
    sense(self);
    EXPECT_FLOAT_EQ(inputs[0], 0.3f);   // slot 6, the nearest
    EXPECT_FLOAT_EQ(inputs[4], -1.0f);  // slot 3, smallest x
    EXPECT_FLOAT_EQ(inputs[5], 0.0f);
    EXPECT_FLOAT_EQ(inputs[9], 1.0f);    // slot 1 before slot 4: equal x, lower slot
    EXPECT_FLOAT_EQ(inputs[13], -1.0f);  // slot 4
    expectZeroOutside(0, 16);
}

TEST_F(Sensing, WallAtDistanceOneLeft) {
    for (float h : {0.0f, 0.7f, -2.0f}) {
        Agent& self = world.place(world.prey[0], -4.0f, 0.0f, 0.3f, 0.0f);
        self.heading = h;
        world.attach(1, 1);
        world.predators[0].x = 4.9f;
        sortIndexes();
        sense(self);
        const float c = std::cos(h), s = std::sin(h);
        EXPECT_NEAR(inputs[32], -c, 1e-6f);
        EXPECT_NEAR(inputs[33], s, 1e-6f);
        EXPECT_NEAR(inputs[34], c * 0.3f, 1e-6f) << "own x velocity, not divided";
        EXPECT_NEAR(inputs[35], -s * 0.3f, 1e-6f);
        expectZeroOutside(32, 36);
    }
}

TEST_F(Sensing, WallVelocityTermsFollowTheirOwnSignsAndTheLaterWallWins) {
    Agent& self = world.place(world.prey[0], 4.5f, 3.5f, 0.2f, 0.4f);
    self.heading = 0.0f;
    world.attach(1, 1);
    world.predators[0].x = -4.9f;
    sortIndexes();
    sense(self);
    // xMax at 0.5: offset (0.5)/0.25 = 2; velocity -vx / d.
    EXPECT_FLOAT_EQ(inputs[32], 2.0f);
    EXPECT_FLOAT_EQ(inputs[34], -0.4f);
    // yMax at 0.5: offset left 2; velocity -vy / d.
    EXPECT_FLOAT_EQ(inputs[37], 2.0f);
    EXPECT_FLOAT_EQ(inputs[39], -0.8f);

    // An arena narrower than twice the range: both x walls in range, the right one wins.
    world.arena.xMin = -1.0f;
    world.arena.xMax = 1.0f;
    self.x = 0.5f;
    self.y = 0.0f;
    sortIndexes();
    sense(self);
    EXPECT_FLOAT_EQ(inputs[32], 2.0f);

    // Closer than 0.001: nothing of that wall.
    self.x = 0.9995f;
    sortIndexes();
    sense(self);
    EXPECT_NEAR(inputs[32], -1.0f / 1.9995f, 1e-5f) << "only the left wall remains";
}

TEST_F(Sensing, SortIndexesKeepsSlotOrderForEqualXAndTracksPreySpeeds) {
    world.place(world.prey[0], 1.0f, 0.0f, -0.3f, 0.1f);
    world.place(world.prey[1], -1.0f, 2.0f, 0.2f, -0.25f);
    world.place(world.prey[2], 1.0f, -2.0f);
    world.place(world.prey[3], 1.0f, 0.0f);
    world.attach(1, 4);
    EXPECT_EQ(world.reference.indexes.preyByX[0], 1);
    EXPECT_EQ(world.reference.indexes.preyByX[1], 0);
    EXPECT_EQ(world.reference.indexes.preyByX[2], 2);
    EXPECT_EQ(world.reference.indexes.preyByX[3], 3);
    EXPECT_EQ(world.reference.indexes.preyByY[0], 2);
    EXPECT_EQ(world.reference.indexes.preyByY[1], 0);
    EXPECT_EQ(world.reference.indexes.preyByY[2], 3);
    EXPECT_FLOAT_EQ(world.reference.indexes.maxPreyVx, 0.3f);
    EXPECT_FLOAT_EQ(world.reference.indexes.maxPreyVy, 0.25f);

    for (int s = 0; s < 4; ++s) world.prey[s].vx = world.prey[s].vy = 0.0f;
    sortIndexes();
    EXPECT_EQ(world.reference.indexes.maxPreyVx, 0.0f);
    EXPECT_EQ(world.reference.indexes.maxPreyVy, 0.0f);
}

TEST_F(Sensing, NothingInRangeLeavesEverythingZero) {
    Agent& self = world.place(world.prey[0], 0.0f, 0.0f);
    world.place(world.prey[1], 0.0f, 3.0f);
    world.place(world.predators[0], 3.0f, 0.0f);
    world.attach(1, 2);
    inputs.fill(9.0f);
    sense(self);
    expectZeroOutside(0, 0);
}

}  // namespace
}  // namespace kav
