#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

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

// The packed network computes each value in its own lane with the scalar operations in
// the scalar order: the same bits for any Genome and inputs, infinities, signed zeros and
// subnormals included. A NaN must be a NaN in both; its sign and payload follow the
// compiler's operand order, in the scalar code as in the packed.
TEST(ControllerPacked, GivesTheScalarNetworksBitsForAnyWeightsAndInputs) {
    std::mt19937 rng(2024);
    const float specials[] = {0.0f,
                              -0.0f,
                              std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::denorm_min(),
                              -1.0e-40f,
                              3.0e38f,
                              -3.0e38f,
                              1.0e-20f};
    auto value = [&](int trial) {
        std::uniform_int_distribution<int> pick(0, 19);
        const int p = pick(rng);
        if (trial % 4 == 0 && p < 10) return specials[p];
        // Magnitudes from tiny to huge, so that sums round and overflow.
        const float magnitude =
            std::pow(10.0f, std::uniform_real_distribution<float>(-30, 30)(rng));
        return std::uniform_int_distribution<int>(0, 1)(rng) ? magnitude : -magnitude;
    };
    auto bits = [](float f) {
        std::uint32_t b;
        std::memcpy(&b, &f, 4);
        return std::isnan(f) ? 0x7fc00000u : b;
    };
    float genome[kGenomeSize];
    InputVector inputs;
    int nans = 0;
    for (int trial = 0; trial < 100000; ++trial) {
        for (float& g : genome)
            g = trial % 3 == 0 ? value(trial) : std::uniform_real_distribution<float>(-1, 1)(rng);
        for (float& in : inputs)
            in = trial % 2 == 0 ? value(trial) : std::uniform_real_distribution<float>(-3, 3)(rng);
        const ControlOutput scalar = evaluateNetwork(genome, inputs);
        const ControlOutput packed = evaluateNetworkPacked(genome, inputs);
        ASSERT_EQ(bits(packed.forward), bits(scalar.forward)) << "trial " << trial;
        ASSERT_EQ(bits(packed.lateral), bits(scalar.lateral)) << "trial " << trial;
        nans += std::isnan(scalar.forward);
    }
    EXPECT_GT(nans, 1000);
    EXPECT_LT(nans, 90000);
}

}  // namespace
}  // namespace kav
