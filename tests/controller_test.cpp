#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "sim/controller.h"
#include "sim/steer_batch.h"
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
        float* g = world.genomeOf(agent);
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
    control(agent, world.genomeOf(agent), inputs, world.settings);
    EXPECT_FLOAT_EQ(agent.nextVx, 0.475f);
    EXPECT_FLOAT_EQ(agent.nextVy, -0.196f);
    EXPECT_EQ(agent.energy, 0.7f);
}

// Drag, the speed limit and the thrust's cost are the world's settings, on the scalar
// steering and on every vector path's steering alike.
TEST_F(Controller, DragLimitAndThrustCostAreTheSettings) {
    chaseGenome();
    inputs.fill(0.0f);
    inputs[0] = 1.0f;  // a thrust of 0.5 forward
    ModelSettings& settings = world.settings;
    settings.drag = 0.2f;
    settings.thrustCost = 1.0f;
    agent.energy = 1.0f;
    control(agent, world.genomeOf(agent), inputs, settings);
    EXPECT_FLOAT_EQ(agent.nextVx, 0.45f);
    EXPECT_FLOAT_EQ(agent.energy, 0.75f);

    settings.maxSpeed = 0.3f;
    for (VectorPath path : kVectorPaths) {
        if (!canRun(path)) continue;
        SteerBatch batch;
        agent.energy = 1.0f;
        batch.add(agent, 0.5f, 0.0f, 1.0f, 0.0f);
        batch.add(agent, -0.5f, 0.0f, 1.0f, 0.0f);
        batch.run(path, settings);
        EXPECT_EQ(agent.nextVx, -0.3f) << nameOf(path);  // the last one steered wins
        EXPECT_FLOAT_EQ(agent.energy, 0.75f) << nameOf(path);
        batch.count = 1;
        batch.run(path, settings);
        EXPECT_EQ(agent.nextVx, 0.3f) << nameOf(path);
    }
}

TEST_F(Controller, PreyAheadGivesForwardThrustAndCostsEnergy) {
    chaseGenome();
    agent.heading = 0.0f;
    agent.energy = 1.0f;
    inputs.fill(0.0f);
    inputs[0] = 1.0f;
    control(agent, world.genomeOf(agent), inputs, world.settings);
    EXPECT_FLOAT_EQ(agent.nextVx, 0.475f);
    EXPECT_EQ(agent.nextVy, 0.0f);
    EXPECT_FLOAT_EQ(agent.energy, 0.875f);

    inputs[0] = -1.0f;
    agent.energy = 1.0f;
    control(agent, world.genomeOf(agent), inputs, world.settings);
    EXPECT_FLOAT_EQ(agent.nextVx, -0.475f) << "thrust may point backwards";

    world.genomeOf(agent)[60] = -0.5f;
    agent.energy = 1.0f;
    control(agent, world.genomeOf(agent), inputs, world.settings);
    EXPECT_FLOAT_EQ(agent.nextVx, 0.475f);
    EXPECT_FLOAT_EQ(agent.energy, 0.875f);
}

TEST_F(Controller, ThrustTurnsWithTheHeading) {
    chaseGenome();
    agent.heading = 1.5707964f;
    inputs.fill(0.0f);
    inputs[0] = 1.0f;
    control(agent, world.genomeOf(agent), inputs, world.settings);
    EXPECT_NEAR(agent.nextVx, 0.0f, 1e-7f);
    EXPECT_FLOAT_EQ(agent.nextVy, 0.475f);

    // Lateral thrust points 90 degrees counter-clockwise from the heading.
    float* g = world.genomeOf(agent);
    std::fill(g, g + kGenomeSize, 0.0f);
    g[0] = 1.0f;
    g[20] = 1.0f;
    g[30] = 1.0f;
    g[55] = 1.0f;  // hidden 0 into the lateral output
    g[61] = 0.5f;
    agent.heading = 0.0f;
    control(agent, world.genomeOf(agent), inputs, world.settings);
    EXPECT_EQ(agent.nextVx, 0.0f);
    EXPECT_FLOAT_EQ(agent.nextVy, 0.475f);
}

TEST_F(Controller, EveryInputReachesTheOutputsThroughItsOwnWeights) {
    float* g = world.genomeOf(agent);
    for (int i = 0; i < kGenomeSize; ++i) g[i] = 0.01f * float(i % 7 + 1);
    for (int i = 0; i < kInputCount; ++i) inputs[i] = 0.05f * float(i % 5) - 0.1f;
    control(agent, world.genomeOf(agent), inputs, world.settings);
    const float vx = agent.nextVx, vy = agent.nextVy, energy = agent.energy;

    g[62] = 1000.0f;  // not read
    agent.energy = 1.0f;
    control(agent, world.genomeOf(agent), inputs, world.settings);
    EXPECT_EQ(agent.nextVx, vx);
    EXPECT_EQ(agent.nextVy, vy);
    EXPECT_EQ(agent.energy, energy);

    // Each input gain, pooling weight, hidden gain and output weight matters.
    for (int i = 0; i < 62; ++i) {
        const float kept = g[i];
        g[i] = kept * 3.0f;
        agent.energy = 1.0f;
        control(agent, world.genomeOf(agent), inputs, world.settings);
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
        control(agent, world.genomeOf(agent), inputs, world.settings);
        EXPECT_NEAR(agent.nextVx, c.out, 2e-6f) << c.in;
        EXPECT_NEAR(agent.nextVy, -c.out, 2e-6f) << c.in;
    }
    EXPECT_EQ(sign(0.0f), 1.0f);
    EXPECT_EQ(sign(-0.0f), 1.0f);
    EXPECT_EQ(sign(-1e-30f), -1.0f);
}

// Weights and inputs for the networks: in one trial of four, special values (infinities,
// NaN, signed zeros, subnormals, the largest floats) among the others, whose magnitudes run
// from tiny to huge so that sums round and overflow; in the other trials small values.
class NetworkValues {
public:
    explicit NetworkValues(unsigned seed) : rng_(seed) {}

    void fill(int trial, float* genome, InputVector& inputs) {
        for (int i = 0; i < kGenomeSize; ++i)
            genome[i] = trial % 3 == 0 ? value(trial) : uniform(1.0f);
        for (float& in : inputs) in = trial % 2 == 0 ? value(trial) : uniform(3.0f);
    }

private:
    float value(int trial) {
        static const float specials[] = {0.0f,
                                         -0.0f,
                                         std::numeric_limits<float>::quiet_NaN(),
                                         std::numeric_limits<float>::infinity(),
                                         -std::numeric_limits<float>::infinity(),
                                         std::numeric_limits<float>::denorm_min(),
                                         -1.0e-40f,
                                         3.0e38f,
                                         -3.0e38f,
                                         1.0e-20f};
        const int p = std::uniform_int_distribution<int>(0, 19)(rng_);
        if (trial % 4 == 0 && p < 10) return specials[p];
        const float magnitude =
            std::pow(10.0f, std::uniform_real_distribution<float>(-30, 30)(rng_));
        return std::uniform_int_distribution<int>(0, 1)(rng_) ? magnitude : -magnitude;
    }
    float uniform(float range) {
        return std::uniform_real_distribution<float>(-range, range)(rng_);
    }

    std::mt19937 rng_;
};

// A float's bits, every NaN as one: its sign and payload follow the compiler's operand
// order, in the scalar code as in the vector code.
std::uint32_t bitsOrNaN(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return std::isnan(f) ? 0x7fc00000u : b;
}

// The network on every path computes each value in its own lane with the scalar
// operations in the scalar order: the same bits for any Genome and inputs, infinities,
// signed zeros and subnormals included. A NaN must be a NaN in both.
TEST(ControllerPacked, GivesTheScalarNetworksBitsForAnyWeightsAndInputs) {
    NetworkValues values(2024);
    float genome[kGenomeSize];
    InputVector inputs;
    const float* genomeOf = genome;
    const float* inputsOf = inputs.data();
    int nans = 0;
    for (int trial = 0; trial < 100000; ++trial) {
        values.fill(trial, genome, inputs);
        const ControlOutput scalar = evaluateNetwork(genome, inputs);
        for (VectorPath path : kVectorPaths) {
            if (!canRun(path)) continue;
            ControlOutput packed;
            evaluateNetworks(path, {&genomeOf, &inputsOf, 1, &packed.forward, &packed.lateral});
            ASSERT_EQ(bitsOrNaN(packed.forward), bitsOrNaN(scalar.forward))
                << nameOf(path) << " trial " << trial;
            ASSERT_EQ(bitsOrNaN(packed.lateral), bitsOrNaN(scalar.lateral))
                << nameOf(path) << " trial " << trial;
        }
        nans += std::isnan(scalar.forward);
    }
    EXPECT_GT(nans, 1000);
    EXPECT_LT(nans, 90000);
}

// The networks of many Agents at once, on every path this machine runs: each Agent's
// thrust has the scalar network's bits, in full batches and in the Agents that do not fill
// the last one, and nothing is written past the last Agent.
TEST(ControllerPacked, ManyAgentsAtOnceGiveTheScalarNetworksBits) {
    constexpr int kMost = 45;  // five full batches of eight, two and a part of sixteen
    NetworkValues values(77);
    std::vector<std::array<float, kGenomeSize>> genomes(kMost);
    std::vector<InputVector> inputs(kMost);
    std::vector<const float*> genomeOf(kMost), inputsOf(kMost);
    std::vector<float> forward(kMost + 1), lateral(kMost + 1);
    int trial = 0;
    for (int round = 0; round < 400; ++round) {
        const int count = 1 + round % kMost;
        for (int k = 0; k < count; ++k) {
            values.fill(trial++, genomes[k].data(), inputs[k]);
            genomeOf[k] = genomes[k].data();
            inputsOf[k] = inputs[k].data();
        }
        for (VectorPath path : kVectorPaths) {
            if (!canRun(path)) continue;
            std::fill(forward.begin(), forward.end(), -7.0f);
            std::fill(lateral.begin(), lateral.end(), -7.0f);
            evaluateNetworks(
                path, {genomeOf.data(), inputsOf.data(), count, forward.data(), lateral.data()});
            for (int k = 0; k < count; ++k) {
                const ControlOutput scalar = evaluateNetwork(genomes[k].data(), inputs[k]);
                ASSERT_EQ(bitsOrNaN(forward[k]), bitsOrNaN(scalar.forward))
                    << nameOf(path) << " round " << round << " Agent " << k;
                ASSERT_EQ(bitsOrNaN(lateral[k]), bitsOrNaN(scalar.lateral))
                    << nameOf(path) << " round " << round << " Agent " << k;
            }
            ASSERT_EQ(forward[count], -7.0f) << nameOf(path) << " count " << count;
            ASSERT_EQ(lateral[count], -7.0f) << nameOf(path) << " count " << count;
        }
    }
}

}  // namespace
}  // namespace kav
