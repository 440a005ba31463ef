#include "sim/controller.h"

#include <cmath>

namespace kav {

namespace {

constexpr float kDragFactor = 0.1f;

// Quadratic drag on one velocity component, then the limit of 1 per tick. Very large
// components are dragged past zero and come out with the opposite sign; that is the
// behaviour the Genomes evolved with, so it stays.
float dragAndLimit(float component) {
    const float drag = static_cast<float>(double(component) * component * kDragFactor);
    float result = component - sign(component) * drag;
    if (std::fabs(result) > 1.0f) result = sign(result) * 1.0f;
    return result;
}

// Hidden value j pools four like terms: the same component of the four neighbours of
// one kind (j < 8, inputs j%4 + 4k of block j/4), or the four wall terms (j = 8, 9).
constexpr int kPooled[kHiddenCount][4] = {
    {0, 4, 8, 12},   {1, 5, 9, 13},   {2, 6, 10, 14},  {3, 7, 11, 15},  {16, 20, 24, 28},
    {17, 21, 25, 29}, {18, 22, 26, 30}, {19, 23, 27, 31}, {32, 34, 36, 38}, {33, 35, 37, 39},
};

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

void steer(Agent& agent, ControlOutput thrust, float cosH, float sinH) {
    const float forward = thrust.forward;
    const float lateral = thrust.lateral;
    agent.energy = agent.energy - 0.5f * (lateral * lateral + forward * forward);

    const float thrustX = static_cast<float>(double(cosH) * forward - double(sinH) * lateral);
    const float thrustY = static_cast<float>(double(sinH) * forward + double(cosH) * lateral);
    agent.nextVx = agent.vx + thrustX;
    agent.nextVy = agent.vy + thrustY;

    agent.nextVx = dragAndLimit(agent.nextVx);
    agent.nextVy = dragAndLimit(agent.nextVy);
}

ControlOutput control(Agent& agent, const InputVector& inputs) {
    const ControlOutput thrust = evaluateNetwork(agent.genome, inputs);
    const float cosH = static_cast<float>(std::cos(double(agent.heading)));
    const float sinH = static_cast<float>(std::sin(double(agent.heading)));
    steer(agent, thrust, cosH, sinH);
    return thrust;
}

ControlOutput control(Agent& agent, const InputVector& inputs, const FrameRotation& frame) {
    // The frame's rotation is by the negated heading; the cosine is even and the sine odd
    // to the last bit, so these are the heading's own cosine and sine. A heading that is
    // not finite has a sine that is not a number, whose sign negation would change.
    if (!std::isfinite(agent.heading)) return control(agent, inputs);
    const ControlOutput thrust = evaluateNetwork(agent.genome, inputs);
    steer(agent, thrust, frame.cosNeg, -frame.sinNeg);
    return thrust;
}

}  // namespace kav
