#include <cmath>

#include "sim/workspace.h"

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

// The thrust along and across the heading: its energy cost, then the next velocity.
// cosH and sinH are the cosine and sine of the heading, each rounded to single precision.
void steer(Agent& agent, float forward, float lateral, float cosH, float sinH) {
    agent.energy = agent.energy - 0.5f * (lateral * lateral + forward * forward);

    const float thrustX = static_cast<float>(double(cosH) * forward - double(sinH) * lateral);
    const float thrustY = static_cast<float>(double(sinH) * forward + double(cosH) * lateral);
    agent.nextVx = agent.vx + thrustX;
    agent.nextVy = agent.vy + thrustY;

    agent.nextVx = dragAndLimit(agent.nextVx);
    agent.nextVy = dragAndLimit(agent.nextVy);
}

void steer(Agent& agent, float forward, float lateral) {
    const float cosH = static_cast<float>(std::cos(double(agent.heading)));
    const float sinH = static_cast<float>(std::sin(double(agent.heading)));
    steer(agent, forward, lateral, cosH, sinH);
}

// Hidden value j pools four like terms: the same component of the four neighbours of
// one kind (j < 8, inputs j%4 + 4k of block j/4), or the four wall terms (j = 8, 9).
constexpr int kPooled[kHiddenCount][4] = {
    {0, 4, 8, 12},   {1, 5, 9, 13},   {2, 6, 10, 14},  {3, 7, 11, 15},  {16, 20, 24, 28},
    {17, 21, 25, 29}, {18, 22, 26, 30}, {19, 23, 27, 31}, {32, 34, 36, 38}, {33, 35, 37, 39},
};

// The network: input gains, pooling, hidden gains and the two outputs, every
// intermediate value rounded to single precision as it is formed.
void evaluateNetwork(const float* g, const float* inputs, float& forward, float& lateral) {
    float weighted[kInputCount];
    for (int i = 0; i < 20; ++i) {
        weighted[2 * i] = g[i] * inputs[2 * i];
        weighted[2 * i + 1] = g[i] * inputs[2 * i + 1];
    }
    float hidden[kHiddenCount];
    for (int j = 0; j < kHiddenCount; ++j) {
        float sum = 0.0f;
        for (int n : kPooled[j]) sum = sum + weighted[n] * g[20 + j];
        hidden[j] = sum * g[30 + j];
    }
    forward = 0.0f;
    lateral = 0.0f;
    for (int k = 0; k < 5; ++k) {
        forward = forward + (g[40 + k] * hidden[2 * k] + g[50 + k] * hidden[2 * k + 1]);
        lateral = lateral + (g[45 + k] * hidden[2 * k + 1] + g[55 + k] * hidden[2 * k]);
    }
    forward = forward * g[60];
    lateral = lateral * g[61];
}

}  // namespace

void SenseWorkspace::control(Agent& agent) {
    float forward, lateral;
    evaluateNetwork(agent.genome, inputs.data(), forward, lateral);
    steer(agent, forward, lateral);
}

void SenseWorkspace::controlFast(Agent& agent, const FrameRotation& frame) {
    float forward, lateral;
    evaluateNetwork(agent.genome, inputs.data(), forward, lateral);
    // The frame's rotation is by the negated heading; the cosine is even and the sine odd
    // to the last bit, so these are the heading's own cosine and sine. A heading that is
    // not finite has a sine that is not a number, whose sign negation would change.
    if (std::isfinite(agent.heading))
        steer(agent, forward, lateral, frame.cosNeg, -frame.sinNeg);
    else
        steer(agent, forward, lateral);
}

}  // namespace kav
