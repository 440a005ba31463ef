// What the window draws and when, checked without a display: drawn poses, pacing,
// shape data and the projection.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>

#include <gtest/gtest.h>

#include "render/pacing.h"
#include "render/pose.h"
#include "render/shapes.h"
#include "render/transforms.h"

namespace kav {
namespace {

const Arena kArena{-5.0f, 5.0f, -4.0f, 4.0f};

Agent moving(float x, float y, float vx, float vy) {
    Agent a;
    a.x = x;
    a.y = y;
    a.vx = vx;
    a.vy = vy;
    return a;
}

// --- drawn pose -----------------------------------------------------------------

TEST(DrawnPose, CatchingPredatorStopsAtTheCatchPointOnceItsContactTimeHasPassed) {
    Agent p = moving(1.0f, 1.0f, 0.5f, -0.25f);
    p.captured = 1;
    p.contactTime = 0.4f;
    DrawnPose before = predatorPose(p, 0.3f, kArena);
    EXPECT_FLOAT_EQ(before.x, 1.15f);
    EXPECT_FLOAT_EQ(before.y, 0.925f);
    DrawnPose atContact = predatorPose(p, 0.4f, kArena);  // not yet past: on its path
    EXPECT_FLOAT_EQ(atContact.x, 1.2f);
    for (float t : {0.41f, 0.8f, 1.0f, 1.3f}) {
        DrawnPose after = predatorPose(p, t, kArena);
        EXPECT_FLOAT_EQ(after.x, 1.2f) << t;
        EXPECT_FLOAT_EQ(after.y, 0.9f) << t;
        EXPECT_EQ(after.scale, 1.0f);
    }
    p.captured = 0;
    EXPECT_FLOAT_EQ(predatorPose(p, 0.8f, kArena).x, 1.4f);
}

TEST(DrawnPose, CaughtPreySitsAtItsCapturePointAndShrinksAway) {
    Agent prey = moving(-2.0f, 0.5f, 0.2f, 0.4f);
    prey.captured = 1;
    prey.contactTime = 0.5f;
    for (float t : {0.0f, 0.75f}) {
        DrawnPose pose = preyPose(prey, t, kArena);
        EXPECT_FLOAT_EQ(pose.x, -1.9f);
        EXPECT_FLOAT_EQ(pose.y, 0.7f);
    }
    EXPECT_FLOAT_EQ(preyPose(prey, 0.0f, kArena).scale, 1.0f);
    EXPECT_FLOAT_EQ(preyPose(prey, 0.75f, kArena).scale, 0.5f);
    EXPECT_TRUE(preyPose(prey, 0.99f, kArena).visible());
    EXPECT_FALSE(preyPose(prey, 1.0f, kArena).visible());
    EXPECT_FALSE(preyPose(prey, 1.15f, kArena).visible());  // a late tick: not shown

    prey.captured = 0;
    DrawnPose free = preyPose(prey, 0.75f, kArena);
    EXPECT_FLOAT_EQ(free.x, -1.85f);
    EXPECT_EQ(free.scale, 1.0f);
    EXPECT_TRUE(preyPose(prey, 1.15f, kArena).visible());
}

TEST(DrawnPose, HeadingTurnsTheShortWayThroughPlusMinusPi) {
    // 3.0 to -3.0 differ by 6 > pi: the turn goes through pi, not through 0.
    for (float t : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
        const float a = drawnHeading(-3.0f, 3.0f, t);
        EXPECT_GE(std::fabs(a), 3.0f - 1e-5f) << t;
        const float b = drawnHeading(3.0f, -3.0f, t);
        EXPECT_GE(std::fabs(b), 3.0f - 1e-5f) << t;
    }
    EXPECT_NEAR(drawnHeading(-3.0f, 3.0f, 0.5f), -kDrawPi, 1e-5f);
    EXPECT_NEAR(drawnHeading(3.0f, -3.0f, 0.5f), -kDrawPi, 1e-5f);
    EXPECT_NEAR(drawnHeading(-3.0f, 3.0f, 1.0f), -3.0f, 1e-5f);  // ends on the heading mod 2 pi
    EXPECT_FLOAT_EQ(drawnHeading(1.0f, 0.5f, 0.5f), 0.75f);
}

TEST(DrawnPose, ADifferenceOfExactlyPiIsNotWrapped) {
    EXPECT_FLOAT_EQ(drawnHeading(kDrawPi, 0.0f, 0.5f), kDrawPi / 2.0f);
    EXPECT_FLOAT_EQ(drawnHeading(0.0f, kDrawPi, 0.5f), kDrawPi / 2.0f);
    // Just beyond it the larger one loses 2 pi.
    EXPECT_NEAR(drawnHeading(3.1416f, 0.0f, 0.5f), (3.1416f - kDrawTwoPi) / 2.0f, 1e-6f);
}

TEST(DrawnPose, PositionsBeyondAWallAreMirroredInside) {
    Agent a = moving(4.9f, 0.0f, 0.4f, 0.0f);  // 0.3 beyond xMax at t = 1
    DrawnPose pose = predatorPose(a, 1.0f, kArena);
    EXPECT_NEAR(pose.x, 4.7f, 1e-5f);
    EXPECT_FLOAT_EQ(pose.y, 0.0f);

    float x = -5.2f;
    float y = 4.1f;  // beyond the top-left corner
    reflectIntoArena(x, y, kArena);
    EXPECT_NEAR(x, -4.8f, 1e-5f);
    EXPECT_NEAR(y, 3.9f, 1e-5f);
    x = 5.5f;
    y = -4.25f;
    reflectIntoArena(x, y, kArena);
    EXPECT_NEAR(x, 4.5f, 1e-5f);
    EXPECT_NEAR(y, -3.75f, 1e-5f);
    x = 5.0f;  // on the wall: strict comparisons leave it
    y = -4.0f;
    reflectIntoArena(x, y, kArena);
    EXPECT_EQ(x, 5.0f);
    EXPECT_EQ(y, -4.0f);
}

TEST(DrawnPose, FastModeDrawsWhereTheAgentStands) {
    Agent a = moving(2.0f, -1.0f, 0.5f, 0.5f);
    a.heading = 2.5f;
    a.prevHeading = -2.5f;
    a.captured = 1;
    a.contactTime = 0.2f;
    DrawnPose pose = standingPose(a);
    EXPECT_EQ(pose.x, 2.0f);
    EXPECT_EQ(pose.y, -1.0f);
    EXPECT_EQ(pose.angle, 2.5f);
    EXPECT_EQ(pose.scale, 1.0f);
}

// --- pacing ---------------------------------------------------------------------

struct FakeClock {
    std::uint32_t now = 0;
    std::uint32_t operator()() const { return now; }
};

TEST(Pacing, FirstFrameStartsTheIntervalAndALateFrameKeepsItsOvershoot) {
    Pacing pacing;
    FakeClock clock{1000};
    pacing.beginFrame(std::ref(clock));
    EXPECT_EQ(pacing.tickStart, 1000u);
    EXPECT_EQ(pacing.interpolation, 0.0f);
    EXPECT_FALSE(pacing.tickDue(std::ref(clock)));

    clock.now = 1230;
    pacing.beginFrame(std::ref(clock));
    EXPECT_EQ(pacing.interpolation, 1.15f);
    clock.now = 1236;  // the drawing took 6 ms, which is not counted
    EXPECT_TRUE(pacing.tickDue(std::ref(clock)));
    EXPECT_EQ(pacing.tickStart, 1206u);  // the next interval began 30 ms in the past

    pacing.beginFrame(std::ref(clock));
    EXPECT_FLOAT_EQ(pacing.interpolation, 0.15f);
    EXPECT_FALSE(pacing.tickDue(std::ref(clock)));
}

TEST(Pacing, ExactlyOnePeriodIsNotYetATick) {
    Pacing pacing;
    pacing.tickStart = 500;
    FakeClock clock{700};
    pacing.beginFrame(std::ref(clock));
    EXPECT_EQ(pacing.interpolation, 1.0f);
    EXPECT_FALSE(pacing.tickDue(std::ref(clock)));
    clock.now = 701;
    pacing.beginFrame(std::ref(clock));
    EXPECT_TRUE(pacing.tickDue(std::ref(clock)));
    EXPECT_EQ(pacing.tickStart, 700u);
}

TEST(Pacing, AfterAStallOneTickPerFrameUntilCaughtUp) {
    Pacing pacing;
    pacing.tickStart = 1000;
    FakeClock clock{1900};  // 900 ms without a frame
    int ticks = 0;
    int lateFrames = 0;
    for (int frame = 0; frame < 11; ++frame, clock.now += 10) {  // up to 2000 ms
        pacing.beginFrame(std::ref(clock));
        const bool due = pacing.tickDue(std::ref(clock));
        if (pacing.interpolation > 1.0f) {
            ++lateFrames;
            EXPECT_TRUE(due);
            EXPECT_EQ(lateFrames, frame + 1) << "late frames come first, back to back";
        }
        ticks += due ? 1 : 0;
    }
    EXPECT_EQ(lateFrames, 4);  // 900 ms owe four whole periods
    EXPECT_EQ(ticks, 4);       // and then back on time: t = 1.0 at 2000 ms is not yet due
    EXPECT_EQ(pacing.tickStart, 1800u);
}

TEST(Pacing, WrapOfTheMillisecondCounterIsHarmless) {
    Pacing pacing;
    pacing.tickStart = 0xFFFFFF00u;
    FakeClock clock{0x10u};
    pacing.beginFrame(std::ref(clock));
    EXPECT_EQ(pacing.elapsed, 0x110u);
    EXPECT_TRUE(pacing.tickDue(std::ref(clock)));
    EXPECT_EQ(pacing.tickStart, 0x10u - 72u);
}

TEST(Pacing, RestartBeginsAFreshInterval) {
    Pacing pacing;
    pacing.tickStart = 100;
    pacing.restart(5000);
    FakeClock clock{5100};
    pacing.beginFrame(std::ref(clock));
    EXPECT_FLOAT_EQ(pacing.interpolation, 0.5f);
    EXPECT_FALSE(pacing.tickDue(std::ref(clock)));
}

TEST(Pacing, APauseHoldsTheFrameAndTheResumeOwesNoTicks) {
    Pacing pacing;
    pacing.tickStart = 1000;
    FakeClock clock{1150};
    pacing.beginFrame(std::ref(clock));
    pacing.pause(1150);
    EXPECT_FLOAT_EQ(pacing.interpolation, 0.75f);
    clock.now = 61150;  // a minute paused
    for (int frame = 0; frame < 3; ++frame) {
        pacing.beginFrame(std::ref(clock));
        EXPECT_FLOAT_EQ(pacing.interpolation, 0.75f);  // the frame holds still
        EXPECT_FALSE(pacing.tickDue(std::ref(clock)));
    }
    pacing.resume(61150);
    pacing.beginFrame(std::ref(clock));
    EXPECT_FLOAT_EQ(pacing.interpolation, 0.75f);  // continues where it stood
    EXPECT_FALSE(pacing.tickDue(std::ref(clock)));
    clock.now = 61201;  // the rest of the interval, then one tick and no more
    pacing.beginFrame(std::ref(clock));
    EXPECT_TRUE(pacing.tickDue(std::ref(clock)));
    clock.now = 61210;
    pacing.beginFrame(std::ref(clock));
    EXPECT_FALSE(pacing.tickDue(std::ref(clock)));
}

TEST(Pacing, PausedWithATickOverdueStillOwesOnlyThatOne) {
    Pacing pacing;
    pacing.tickStart = 1000;
    pacing.pause(1230);  // the pause came in a late frame
    FakeClock clock{1300};
    for (int frame = 0; frame < 5; ++frame, clock.now += 100) {
        pacing.beginFrame(std::ref(clock));
        EXPECT_FALSE(pacing.tickDue(std::ref(clock))) << frame;
    }
    pacing.resume(clock.now);
    pacing.beginFrame(std::ref(clock));
    EXPECT_TRUE(pacing.tickDue(std::ref(clock)));
    clock.now += 5;
    pacing.beginFrame(std::ref(clock));
    EXPECT_FALSE(pacing.tickDue(std::ref(clock)));
    EXPECT_FLOAT_EQ(pacing.interpolation, 0.175f);  // the 30 ms overshoot carried on
}

TEST(Pacing, ARestartWhilePausedBeginsAFreshIntervalAtTheResume) {
    Pacing pacing;
    pacing.tickStart = 1000;
    pacing.pause(1190);
    pacing.restart(5000);  // back to the normal mode from a fast one, still paused
    EXPECT_EQ(pacing.interpolation, 0.0f);
    pacing.resume(9000);
    FakeClock clock{9100};
    pacing.beginFrame(std::ref(clock));
    EXPECT_FLOAT_EQ(pacing.interpolation, 0.5f);
}

TEST(VsyncCheck, SwapsThatReturnAtOnceAreNotAWaitForTheDisplay) {
    VsyncCheck check;
    check.reset(true, 60);
    EXPECT_TRUE(check.judging());
    double now = 0;
    for (int i = 0; i <= VsyncCheck::framesToJudge; ++i) check.swapped(now += 0.5);
    EXPECT_FALSE(check.judging());
    EXPECT_FALSE(check.confirmed());

    check.reset(true, 60);
    now = 0;
    for (int i = 0; i <= VsyncCheck::framesToJudge; ++i) check.swapped(now += 16.7);
    EXPECT_TRUE(check.confirmed());

    // Frames that only just keep half the display's period still count as waiting.
    check.reset(true, 0);  // unknown rate: 60 assumed
    now = 0;
    for (int i = 0; i <= VsyncCheck::framesToJudge; ++i) check.swapped(now += 8.0);
    EXPECT_FALSE(check.confirmed());
    check.reset(true, 0);
    now = 0;
    for (int i = 0; i <= VsyncCheck::framesToJudge; ++i) check.swapped(now += 8.4);
    EXPECT_TRUE(check.confirmed());

    check.reset(false, 60);  // the driver refused the swap interval
    EXPECT_FALSE(check.judging());
    EXPECT_FALSE(check.confirmed());
}

TEST(FrameCap, HoldsQuickFramesToSixtyASecondAndNeverDelaysSlowOnes) {
    FrameCap cap;
    double now = 0.0;
    int frames = 0;
    while (now < 1000.0) {
        now += 2.0;  // a quick frame
        now += cap.waitAfterFrame(now);
        ++frames;
    }
    EXPECT_GE(frames, 59);
    EXPECT_LE(frames, 61);

    FrameCap slow;
    now = 0.0;
    for (int i = 0; i < 10; ++i) {
        now += 20.0;
        EXPECT_EQ(slow.waitAfterFrame(now), 0.0);
    }
}

// --- shapes ---------------------------------------------------------------------

void expectColour(const ShapeVertex& v, std::uint32_t argb) {
    EXPECT_EQ(v.a, (argb >> 24) & 0xFF);
    EXPECT_EQ(v.r, (argb >> 16) & 0xFF);
    EXPECT_EQ(v.g, (argb >> 8) & 0xFF);
    EXPECT_EQ(v.b, argb & 0xFF);
}

TEST(Shapes, DiscFanAndPointerFromTheRadius) {
    for (const ShapeStyle& style : {kPredatorShape, kPreyShape}) {
        const float r = style.radius;
        const auto v = buildShapeVertices(style);
        ASSERT_EQ(v.size(), 19u);
        EXPECT_EQ(v[0].x, 0.0f);
        EXPECT_EQ(v[0].y, 0.0f);
        EXPECT_EQ(v[1].x, 0.0f);  // the rim starts at the top
        EXPECT_EQ(v[1].y, r);
        EXPECT_NEAR(v[15].x, v[1].x, 1e-6f);  // and closes on itself
        EXPECT_NEAR(v[15].y, v[1].y, 1e-6f);
        EXPECT_GT(v[2].x, 0.0f);  // clockwise as seen from the camera: top, then right
        EXPECT_GT(v[5].x, 0.0f);
        EXPECT_LT(v[5].y, 0.0f);
        for (int k = 1; k <= 15; ++k) {
            EXPECT_NEAR(std::hypot(v[k].x, v[k].y), r, 1e-6f) << k;
            EXPECT_FLOAT_EQ(v[k].nx, style.rimNormalFactor * r * (v[k].x / r)) << k;
            EXPECT_FLOAT_EQ(v[k].ny, style.rimNormalFactor * r * (v[k].y / r)) << k;
        }
        for (const ShapeVertex& vertex : v) {
            EXPECT_EQ(vertex.z, 0.0f);
            EXPECT_EQ(vertex.nz, -1.0f);
        }
        EXPECT_FLOAT_EQ(v[16].x, 0.8f * r);
        EXPECT_EQ(v[16].y, 0.0f);
        EXPECT_FLOAT_EQ(v[17].x, -0.75f * r);
        EXPECT_FLOAT_EQ(v[17].y, 0.2f * r);
        EXPECT_FLOAT_EQ(v[18].y, -0.2f * r);
        expectColour(v[0], style.centreColour);
        for (int k = 1; k <= 15; ++k) expectColour(v[k], style.rimColour);
        expectColour(v[16], style.tipColour);
        expectColour(v[17], style.baseColour);
        expectColour(v[18], style.baseColour);
    }
}

TEST(Shapes, PredatorAndPreyDifferInSizeAndColour) {
    EXPECT_EQ(kPredatorShape.radius, 0.25f);
    EXPECT_EQ(kPreyShape.radius, 0.16f);
    const auto predator = buildShapeVertices(kPredatorShape);
    const auto prey = buildShapeVertices(kPreyShape);
    EXPECT_EQ(predator[0].r, 0xFF);  // both centres yellow
    EXPECT_EQ(predator[0].g, 0xFF);
    EXPECT_EQ(prey[0].b, 0x00);
    EXPECT_EQ(predator[3].r, 0xFF);  // red rim
    EXPECT_EQ(predator[3].g, 0x00);
    EXPECT_EQ(prey[3].b, 0xFF);       // white rim
    EXPECT_EQ(predator[16].b, 0xCC);  // blue pointer tip
    EXPECT_EQ(predator[17].b, 0x66);
    EXPECT_EQ(prey[16].r, 0xCC);  // red pointer tip
    EXPECT_EQ(prey[18].r, 0x66);
    EXPECT_FLOAT_EQ(predator[4].nx / predator[4].x, 0.8f);
    EXPECT_FLOAT_EQ(prey[4].nx / prey[4].x, 0.2f);
}

TEST(Shapes, BuffersHoldTwentyEightByteVerticesWithBgraColours) {
    const auto predator = buildShapeBuffer(kPredatorShape);
    const auto prey = buildShapeBuffer(kPreyShape);
    ASSERT_EQ(predator.size(), 532u);
    ASSERT_EQ(prey.size(), 672u);

    float y1 = 0;
    std::memcpy(&y1, predator.data() + 28 + 4, 4);  // vertex 1, position y
    EXPECT_EQ(y1, 0.25f);
    float nz = 0;
    std::memcpy(&nz, predator.data() + 20, 4);
    EXPECT_EQ(nz, -1.0f);
    // Yellow 0x00FFFF00 lies as B, G, R, A = 00 FF FF 00; the tip 0x000000CC as CC 00 00 00.
    const std::uint8_t yellow[4] = {0x00, 0xFF, 0xFF, 0x00};
    EXPECT_EQ(std::memcmp(predator.data() + 24, yellow, 4), 0);
    const std::uint8_t blueTip[4] = {0xCC, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(predator.data() + 16 * 28 + 24, blueTip, 4), 0);
    const std::uint8_t redTip[4] = {0x00, 0x00, 0xCC, 0x00};
    EXPECT_EQ(std::memcmp(prey.data() + 16 * 28 + 24, redTip, 4), 0);
    for (std::size_t i = 19 * 28; i < prey.size(); ++i) EXPECT_EQ(prey[i], 0) << i;
}

// --- projection -----------------------------------------------------------------

TEST(Projection, WorldPointsLandWhereTheCameraSeesThem) {
    const glm::vec2 p = projectToClient({4.5f, 0.0f, 0.0f}, 800, 600);
    EXPECT_NEAR(p.x, 725.9f, 0.05f);
    EXPECT_NEAR(p.y, 300.0f, 0.05f);
    const glm::vec2 centre = projectToClient({0.0f, 0.0f, 0.0f}, 800, 600);
    EXPECT_NEAR(centre.x, 400.0f, 1e-3f);
    EXPECT_NEAR(centre.y, 300.0f, 1e-3f);
    // y up on the screen; the arena nearly fills the window.
    const glm::vec2 topRight = projectToClient({5.0f, 4.0f, 0.0f}, 800, 600);
    const glm::vec2 bottomLeft = projectToClient({-5.0f, -4.0f, 0.0f}, 800, 600);
    EXPECT_GT(topRight.x, 740.0f);
    EXPECT_LT(topRight.x, 800.0f);
    EXPECT_GT(topRight.y, 0.0f);
    EXPECT_LT(topRight.y, 20.0f);
    EXPECT_NEAR(bottomLeft.x, 800.0f - topRight.x, 1e-3f);
    EXPECT_NEAR(bottomLeft.y, 600.0f - topRight.y, 1e-3f);
}

TEST(Projection, DepthRangeIsFittedToMinusOneToOne) {
    const glm::mat4 m = projectionMatrix(clientAspect(800, 600)) * viewMatrix();
    const glm::vec4 nearPoint = m * glm::vec4(0.0f, 0.0f, -9.0f, 1.0f);
    const glm::vec4 farPoint = m * glm::vec4(0.0f, 0.0f, 90.0f, 1.0f);
    const glm::vec4 arena = m * glm::vec4(1.0f, 1.0f, 0.0f, 1.0f);
    EXPECT_NEAR(nearPoint.z / nearPoint.w, -1.0f, 1e-5f);
    EXPECT_NEAR(farPoint.z / farPoint.w, 1.0f, 1e-5f);
    EXPECT_GT(arena.z / arena.w, -1.0f);
    EXPECT_LT(arena.z / arena.w, 1.0f);
}

TEST(Projection, AspectIsClientWidthOverHeight) {
    EXPECT_EQ(clientAspect(800, 600), static_cast<float>(800.0 / 600.0));
    EXPECT_EQ(clientAspect(1024, 500), static_cast<float>(1024.0 / 500.0));
    EXPECT_EQ(clientAspect(800, 0), std::numeric_limits<float>::infinity());
    // A wider window keeps the vertical scale and shows more of x.
    const glm::vec2 wide = projectToClient({0.0f, 4.0f, 0.0f}, 1200, 600);
    const glm::vec2 normal = projectToClient({0.0f, 4.0f, 0.0f}, 800, 600);
    EXPECT_NEAR(wide.y, normal.y, 1e-3f);
}

// Beside the panel the arena keeps its whole width in view: a narrow view is letterboxed.
TEST(Projection, TheArenaViewLeavesThePanelsPlaceAndKeepsBothWallsInView) {
    const float aspect = aspectShowingArena(-5.0f, 5.0f);
    EXPECT_NEAR(aspect, 1.2071f, 1e-4f);
    const ArenaView whole = arenaView(800, 600, 0, aspect);
    EXPECT_EQ(whole.x, 0);
    EXPECT_EQ(whole.y, 0);
    EXPECT_EQ(whole.width, 800);
    EXPECT_EQ(whole.height, 600);
    const ArenaView beside = arenaView(1140, 600, 340, aspect);
    EXPECT_EQ(beside.width, 800);
    EXPECT_EQ(beside.height, 600);
    const ArenaView narrow = arenaView(800, 600, 340, aspect);  // the window did not grow
    EXPECT_EQ(narrow.width, 460);
    EXPECT_EQ(narrow.height, 381);
    EXPECT_EQ(narrow.y, (600 - 381) / 2);
    for (const ArenaView& v : {whole, beside, narrow}) {
        const glm::vec2 wall = projectToClient({5.0f, 0.0f, 0.0f}, v.width, v.height);
        EXPECT_LE(wall.x, static_cast<float>(v.width));
    }
}

TEST(Projection, AClientPixelLeadsBackToTheArenaPointDrawnThere) {
    for (const auto& [w, h] : {std::pair{800, 600}, std::pair{1200, 500}}) {
        for (const glm::vec2 point :
             {glm::vec2(0.0f, 0.0f), glm::vec2(4.5f, -3.25f), glm::vec2(-5.0f, 4.0f)}) {
            const glm::vec2 pixel = projectToClient({point.x, point.y, 0.0f}, w, h);
            const glm::vec2 back = clientToArena(pixel, w, h);
            EXPECT_NEAR(back.x, point.x, 1e-4f) << w << " " << point.x;
            EXPECT_NEAR(back.y, point.y, 1e-4f) << w << " " << point.y;
        }
    }
}

TEST(WorldMatrix, RotatesThenScalesThenMoves) {
    DrawnPose pose;
    pose.x = 2.0f;
    pose.y = 1.0f;
    pose.angle = 1.5707964f;
    pose.scale = 0.5f;
    // The pointer tip (0.8, 0) turned a quarter counter-clockwise, halved, moved.
    const glm::vec4 tip = worldMatrix(pose) * glm::vec4(0.8f, 0.0f, 0.0f, 1.0f);
    EXPECT_NEAR(tip.x, 2.0f, 1e-6f);
    EXPECT_NEAR(tip.y, 1.4f, 1e-6f);
    EXPECT_NEAR(tip.z, 0.0f, 1e-6f);
    const glm::vec4 normal = worldMatrix(pose) * glm::vec4(0.0f, 0.0f, -1.0f, 0.0f);
    EXPECT_NEAR(normal.z, -1.0f, 1e-6f);  // z is never scaled
}

}  // namespace
}  // namespace kav
