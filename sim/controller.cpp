#include "sim/controller.h"

#include <cmath>

#include "sim/kernels_of.h"

namespace kav {

namespace {

// Quadratic drag on one velocity component, then the per-tick limit. Very large
// components are dragged past zero and come out with the opposite sign; that is the
// behaviour the Genomes evolved with, so it stays.
float dragAndLimit(float component, float dragFactor, float limit) {
    const float drag = static_cast<float>(double(component) * component * dragFactor);
    float result = component - sign(component) * drag;
    if (std::fabs(result) > limit) result = sign(result) * limit;
    return result;
}

}  // namespace

ControlOutput evaluateNetwork(const float* g, const InputVector& inputs) {
    float weighted[kInputCount];
    for (int i = 0; i < kInputGainCount; ++i) {
        weighted[2 * i] = g[kInputGains + i] * inputs[2 * i];
        weighted[2 * i + 1] = g[kInputGains + i] * inputs[2 * i + 1];
    }
    float hidden[kHiddenCount];
    for (int j = 0; j < kHiddenCount; ++j) {
        float sum = 0.0f;
        for (int n : kPooled[j]) sum = sum + weighted[n] * g[kPoolingWeights + j];
        hidden[j] = sum * g[kHiddenGains + j];
    }
    ControlOutput out;
    for (int k = 0; k < kOutputPairs; ++k) {
        out.forward = out.forward + (g[kForwardFromEven + k] * hidden[2 * k] +
                                     g[kForwardFromOdd + k] * hidden[2 * k + 1]);
        out.lateral = out.lateral + (g[kLateralFromOdd + k] * hidden[2 * k + 1] +
                                     g[kLateralFromEven + k] * hidden[2 * k]);
    }
    out.forward = out.forward * g[kForwardGain];
    out.lateral = out.lateral * g[kLateralGain];
    return out;
}

void evaluateNetworks(VectorPath path, const NetworkLanes& lanes) {
    constexpr KernelsOf<NetworkLanes> kKernels KAV_KERNELS_OF(networks);
    kKernels.run(path, lanes);
}

void steer(Agent& agent, ControlOutput thrust, float cosH, float sinH,
           const ModelSettings& settings) {
    const float forward = thrust.forward;
    const float lateral = thrust.lateral;
    agent.energy = agent.energy - settings.thrustCost * (lateral * lateral + forward * forward);

    const float thrustX = static_cast<float>(double(cosH) * forward - double(sinH) * lateral);
    const float thrustY = static_cast<float>(double(sinH) * forward + double(cosH) * lateral);
    agent.nextVx = agent.vx + thrustX;
    agent.nextVy = agent.vy + thrustY;

    agent.nextVx = dragAndLimit(agent.nextVx, settings.drag, settings.maxSpeed);
    agent.nextVy = dragAndLimit(agent.nextVy, settings.drag, settings.maxSpeed);
}

ControlOutput control(Agent& agent, const float* genome, const InputVector& inputs,
                      const ModelSettings& settings) {
    const ControlOutput thrust = evaluateNetwork(genome, inputs);
    const float cosH = static_cast<float>(std::cos(double(agent.heading)));
    const float sinH = static_cast<float>(std::sin(double(agent.heading)));
    steer(agent, thrust, cosH, sinH, settings);
    return thrust;
}

}  // namespace kav
