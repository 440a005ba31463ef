#include <gtest/gtest.h>

#include <cmath>

#include "sim/controller.h"
#include "test_world.h"

namespace kav {
namespace {

class Controller : public ::testing::Test {
protected:
    testing::HandWorld world;
    InputVector inputs{};
    Agent& agent = world.predators[0];

    // The Genome that turns a Prey straight ahead into forward thrust.
    void chaseGenome() {
        float* g = agent.genome;
        std::fill(g, g + kGenomeSize, 0.0f);
        g[0] = 1.0f;
        g[20] = 1.0f;
        g[30] = 1.0f;
        g[40] = 1.0f;
        g[60] = 0.5f;
    }
};

TEST_F(Controller, ZeroGenomeOnlyDrags) {
    agent.vx = 0.5f;
    agent.vy = -0.2f;
    agent.energy = 0.7f;
    inputs.fill(3.0f);
    control(agent, inputs);
    EXPECT_FLOAT_EQ(agent.nextVx, 0.475f);
    EXPECT_FLOAT_EQ(agent.nextVy, -0.196f);
    EXPECT_EQ(agent.energy, 0.7f);
}

TEST_F(Controller, PreyAheadGivesForwardThrustAndCostsEnergy) {
    chaseGenome();
    agent.heading = 0.0f;
    agent.energy = 1.0f;
    inputs.fill(0.0f);
    inputs[0] = 1.0f;
    control(agent, inputs);
    EXPECT_FLOAT_EQ(agent.nextVx, 0.475f);
    EXPECT_EQ(agent.nextVy, 0.0f);
    EXPECT_FLOAT_EQ(agent.energy, 0.875f);

    inputs[0] = -1.0f;
    agent.energy = 1.0f;
    control(agent, inputs);
    EXPECT_FLOAT_EQ(agent.nextVx, -0.475f) << "thrust may point backwards";

    agent.genome[60] = -0.5f;
    agent.energy = 1.0f;
    control(agent, inputs);
    EXPECT_FLOAT_EQ(agent.nextVx, 0.475f);
    EXPECT_FLOAT_EQ(agent.energy, 0.875f);
}

TEST_F(Controller, ThrustTurnsWithTheHeading) {
    chaseGenome();
    agent.heading = 1.5707964f;
    inputs.fill(0.0f);
    inputs[0] = 1.0f;
    control(agent, inputs);
    EXPECT_NEAR(agent.nextVx, 0.0f, 1e-7f);
    EXPECT_FLOAT_EQ(agent.nextVy, 0.475f);

    // Lateral thrust points 90 degrees counter-clockwise from the heading.
    float* g = agent.genome;
    std::fill(g, g + kGenomeSize, 0.0f);
    g[0] = 1.0f;
    g[20] = 1.0f;
    g[30] = 1.0f;
    g[55] = 1.0f;  // hidden 0 into the lateral output
    g[61] = 0.5f;
    agent.heading = 0.0f;
    control(agent, inputs);
    EXPECT_EQ(agent.nextVx, 0.0f);
    EXPECT_FLOAT_EQ(agent.nextVy, 0.475f);
}

TEST_F(Controller, EveryInputReachesTheOutputsThroughItsOwnWeights) {
    float* g = agent.genome;
    for (int i = 0; i < kGenomeSize; ++i) g[i] = 0.01f * float(i % 7 + 1);
    for (int i = 0; i < kInputCount; ++i) inputs[i] = 0.05f * float(i % 5) - 0.1f;
    control(agent, inputs);
    const float vx = agent.nextVx, vy = agent.nextVy, energy = agent.energy;

    g[62] = 1000.0f;  // not read
    agent.energy = 1.0f;
    control(agent, inputs);
    EXPECT_EQ(agent.nextVx, vx);
    EXPECT_EQ(agent.nextVy, vy);
    EXPECT_EQ(agent.energy, energy);

    // Each input gain, pooling weight, hidden gain and output weight matters.
    for (int i = 0; i < 62; ++i) {
        const float kept = g[i];
        g[i] = kept * 3.0f;
        agent.energy = 1.0f;
        control(agent, inputs);
        EXPECT_TRUE(agent.nextVx != vx || agent.nextVy != vy) << "weight " << i;
        g[i] = kept;
    }
}

TEST_F(Controller, DragAndLimitPerAxis) {
    struct Case {
        float in, out;
    } table[] = {{0.0f, 0.0f}, {0.5f, 0.475f}, {-0.2f, -0.196f}, {1.1f, 0.979f}, {1.2f, 1.0f},
                 {5.0f, 1.0f}, {9.0f, 0.9f},   {10.0f, 0.0f},    {12.0f, -1.0f}, {-12.0f, 1.0f}};
    for (const Case& c : table) {
        agent.vx = c.in;
        agent.vy = -c.in;
        control(agent, inputs);
        EXPECT_NEAR(agent.nextVx, c.out, 2e-6f) << c.in;
        EXPECT_NEAR(agent.nextVy, -c.out, 2e-6f) << c.in;
    }
    EXPECT_EQ(sign(0.0f), 1.0f);
    EXPECT_EQ(sign(-0.0f), 1.0f);
    EXPECT_EQ(sign(-1e-30f), -1.0f);
}

}  // namespace
}  // namespace kav
