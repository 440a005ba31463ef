#pragma once
// Steering of many Agents at once: the thrust's energy cost, the thrust turned into the world
// frame, drag and limit, with each Agent's values in a lane of its own and the operations of
// `steer` (sim/controller.h) in their order, so every value has the same bits.
#include <array>

#include "sim/agent.h"
#include "sim/model_settings.h"
#include "sim/steer_lanes.h"
#include "sim/vector_path.h"

namespace kav {

// Steering's inputs and outputs by Agent, as arrays for whole vectors (padded to sixteen).
struct SteerBatch {
    static constexpr int kCapacity = kMaxPredators + kMaxPrey + 16;
    alignas(64) std::array<float, kCapacity> forward{};  // the network's thrust
    alignas(64) std::array<float, kCapacity> lateral{};
    alignas(64) std::array<float, kCapacity> cosH{};  // of the heading, rounded to float
    alignas(64) std::array<float, kCapacity> sinH{};
    alignas(64) std::array<float, kCapacity> energy{};  // in and out
    alignas(64) std::array<float, kCapacity> vx{};      // in: the velocity
    alignas(64) std::array<float, kCapacity> vy{};
    alignas(64) std::array<float, kCapacity> nextVx{};  // out: the velocity of the next move
    alignas(64) std::array<float, kCapacity> nextVy{};
    std::array<Agent*, kCapacity> agents{};
    int count = 0;

    void add(Agent& agent, float forwardArg, float lateralArg, float cosHArg, float sinHArg) {
        forward[count] = forwardArg;
        lateral[count] = lateralArg;
        cosH[count] = cosHArg;
        sinH[count] = sinHArg;
        energy[count] = agent.energy;
        vx[count] = agent.vx;
        vy[count] = agent.vy;
        agents[count] = &agent;
        ++count;
    }

    // Steers every Agent added, on the given path, and writes the results
    // to the Agents.
    void run(VectorPath path, const ModelSettings& settings);
};

}  // namespace kav
