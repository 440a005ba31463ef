#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sim/capture.h"
#include "test_world.h"

namespace kav {
namespace {

class Capture : public ::testing::Test {
protected:
    testing::HandWorld world;
    CaptureList& captures = world.step->captures;

    // Runs the move and capture phases of a world step on the hand-placed Agents,
    // whose velocities are set as the controller would have chosen them.
    void moveAndCapture(int predatorCount, int preyCount) {
        world.attach(predatorCount, preyCount);
        for (int i = 0; i < predatorCount; ++i) world.move(world.predators[i]);
        for (int i = 0; i < preyCount; ++i) world.move(world.prey[i]);
        world.reference.detectCaptures(world.view(), captures);
    }
    Agent& predator(int slot, float x, float y, float vx, float vy) {
        Agent& a = world.place(world.predators[slot], x, y);
        a.nextVx = vx;
        a.nextVy = vy;
        return a;
    }
    Agent& prey(int slot, float x, float y, float vx = 0.0f, float vy = 0.0f) {
        Agent& a = world.place(world.prey[slot], x, y);
        a.nextVx = vx;
        a.nextVy = vy;
        return a;
    }
};

TEST(CaptureContact, AcceptsTouchesWithinTheTickAndOverlaps) {
    // Radii summing to 0.5 keep the arithmetic exact.
    Contact c = solveContact(0, 0, 1, 0, 1.5f, 0, 0, 0, 0.5f);
    EXPECT_TRUE(c.found) << "first touch exactly at t = 1";
    EXPECT_EQ(c.t1, 1.0f);
    EXPECT_EQ(c.t2, 2.0f);

    EXPECT_FALSE(solveContact(0, 0, 1, 0, 1.6f, 0, 0, 0, 0.5f).found)
        << "first touch after the tick";

    c = solveContact(0, 0, 1, 0, 0.5f, 0.5f, 0, 0, 0.5f);
    EXPECT_TRUE(c.found) << "a graze counts";
    EXPECT_EQ(c.t1, 0.5f);
    EXPECT_EQ(c.t2, 0.5f);

    c = solveContact(0, 0, -1, 0, 0.25f, 0, 0, 0, 0.5f);
    EXPECT_TRUE(c.found) << "overlapping at the start, moving apart";
    EXPECT_LT(c.t1, 0.0f);
    EXPECT_GE(c.t2, 0.0f);

    EXPECT_FALSE(solveContact(0, 0, 0.3f, 0.1f, 0.1f, 0, 0.3f, 0.1f, 0.5f).found)
        << "equal velocities never touch, even overlapping";
    EXPECT_FALSE(solveContact(0, 0, 1, 0, 0.5f, 0.6f, 0, 0, 0.5f).found) << "passing by";
}

TEST_F(Capture, CatchMarksBothAndPutsThePredatorAtTheContactPoint) {
    Agent& p = predator(0, 0.0f, 0.0f, 0.5f, 0.0f);
    p.dead = 1;  // even a Predator that its move killed survives through a catch
    p.energy = -1.0f;
    Agent& q = prey(0, 0.37f, 0.0f);
    moveAndCapture(1, 1);
    ASSERT_TRUE(q.captured);
    EXPECT_TRUE(p.captured);
    EXPECT_FALSE(p.dead);
    EXPECT_NEAR(p.contactTime, 0.6f, 1e-6f);
    EXPECT_EQ(q.contactTime, p.contactTime);
    EXPECT_NEAR(p.nextX, 0.3f, 1e-6f);
    EXPECT_EQ(p.nextVx, 0.0f);
    EXPECT_EQ(p.catches, 1);
    EXPECT_EQ(p.ticksSinceCatch, 0);
    EXPECT_EQ(p.digestTimer, 0);
    EXPECT_EQ(captures.count, 1);
}

TEST_F(Capture, OverlapAtTheStartGivesANegativeTimeBehindTheStart) {
    Agent& p = predator(0, 0.0f, 0.0f, -0.5f, 0.0f);
    prey(0, 0.05f, 0.0f);
    moveAndCapture(1, 1);
    ASSERT_TRUE(p.captured);
    EXPECT_LT(p.contactTime, 0.0f);
    EXPECT_NEAR(p.contactTime, -0.24f, 1e-5f);
    EXPECT_NEAR(p.nextX, 0.12f, 1e-5f) << "placed behind its start point, against its motion";
}

TEST_F(Capture, MirrorImageAcrossTheRightWall) {
    // The Predator bounces off the right wall and meets, on its way back, a Prey that
    // crosses its path just inside the wall; the straight paths pass 0.08 apart.
    Agent& p = predator(0, 4.9f, 0.0f, 0.3f, 0.0f);
    Agent& q = prey(0, 4.96f, -0.3f, 0.0f, 0.6f);
    q.vy = 0.6f;  // moving the same way in the last move, which widens the window
    moveAndCapture(1, 1);
    ASSERT_TRUE(p.hitRight);
    ASSERT_TRUE(q.captured);
    EXPECT_NEAR(p.contactTime, 0.389839f, 1e-5f);
    EXPECT_NEAR(p.nextX, 5.016952f, 1e-5f) << "the contact point lies beyond the wall";

    // Without the wall there is no catch.
    testing::HandWorld open;
    Agent& p2 = open.place(open.predators[0], 4.9f, 0.0f);
    p2.nextVx = 0.3f;
    Agent& q2 = open.place(open.prey[0], 4.96f, -0.3f, 0.0f, 0.6f);
    q2.nextVy = 0.6f;
    open.arena.xMax = 6.0f;
    open.attach(1, 1);
    open.move(p2);
    open.move(q2);
    open.reference.detectCaptures(open.view(), open.step->captures);
    EXPECT_FALSE(q2.captured);
}

TEST_F(Capture, LowerSlotWinsASharedPreyWhateverTheTimes) {
    Agent& late = predator(0, -0.5f, 0.0f, 0.5f, 0.0f);   // touches at 0.86
    Agent& early = predator(1, 0.2f, 0.0f, -0.5f, 0.0f);  // touches at 0.26
    Agent& q = prey(0, 0.0f, 0.0f);
    moveAndCapture(2, 1);
    EXPECT_TRUE(q.captured);
    EXPECT_TRUE(late.captured);
    EXPECT_FALSE(early.captured);
    EXPECT_EQ(late.catches, 1);
    EXPECT_EQ(early.catches, 0);
}

TEST_F(Capture, EarliestOfTwoPreyAndTheOtherStaysFree) {
    Agent& p0 = predator(0, 0.0f, 0.0f, 1.0f, 0.0f);
    Agent& farther = prey(0, 0.8f, 0.0f);
    Agent& nearer = prey(1, 0.3f, 0.0f);
    Agent& p1 = predator(1, 0.95f, 0.0f, -0.1f, 0.0f);
    moveAndCapture(2, 2);
    EXPECT_TRUE(nearer.captured);
    EXPECT_TRUE(farther.captured);
    EXPECT_TRUE(p0.captured);
    EXPECT_TRUE(p1.captured);
    EXPECT_LT(p0.contactTime, p1.contactTime);
    EXPECT_NEAR(p0.nextX, 0.3f - 0.07f, 1e-5f);
}

TEST_F(Capture, DigestingPredatorDoesNotHunt) {
    Agent& p = predator(0, 0.0f, 0.0f, 0.5f, 0.0f);
    p.digestTimer = 0;
    Agent& q = prey(0, 0.3f, 0.0f);
    moveAndCapture(1, 1);
    EXPECT_FALSE(q.captured);
    EXPECT_FALSE(p.captured);
}

TEST_F(Capture, BroadPhaseWidensByTheFastestPrey) {
    // The Prey starts outside the Predator's reach and runs into it; the window must
    // widen by the Prey's speed of the last move to find it.
    Agent& p = predator(0, 0.0f, 0.0f, 0.0f, 0.0f);
    Agent& q = prey(0, 0.8f, 0.0f, -0.9f, 0.0f);
    q.vx = -0.9f;  // the velocity the indexes see: the Prey's last move
    moveAndCapture(1, 1);
    EXPECT_TRUE(q.captured);
    EXPECT_TRUE(p.captured);
}

TEST_F(Capture, EqualTimesDrawOnceForEveryEqualPairTheSortMeets) {
    // Predators 0 and 1 make contacts at the same time; Predator 2 finds nothing. The
    // list is sorted after every Predator, so the equal pair is met twice.
    predator(0, 0.0f, 0.0f, 0.5f, 0.0f);
    prey(0, 0.37f, 0.0f);
    predator(1, 0.0f, 2.0f, 0.5f, 0.0f);
    prey(1, 0.37f, 2.0f);
    predator(2, -3.0f, -3.0f, 0.0f, 0.0f);
    const Random before = world.random;
    moveAndCapture(3, 2);
    Random replay = before;
    replay.next();
    replay.next();
    EXPECT_EQ(world.random.state(), replay.state());
    EXPECT_TRUE(world.prey[0].captured && world.prey[1].captured);
    EXPECT_EQ(captures.events[0].time, captures.events[1].time);
}

TEST_F(Capture, SortEndsWithTimesThatAreNotNumbers) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float times[] = {0.5f, nan, 0.2f, nan, 0.2f, -0.1f, nan, 0.9f};
    captures.clear();
    for (float t : times) captures.add(CaptureEvent{0, 0, t});
    captures.sort(world.random);
    EXPECT_EQ(captures.count, 8);
}

}  // namespace
}  // namespace kav
