#pragma once
// The controller network: an Agent's Genome turns its input vector into a thrust along
// and across its heading, which steering charges against its energy and turns into the
// velocity of its next move.
#include "sim/agent.h"
#include "sim/network_lanes.h"
#include "sim/sensing.h"
#include "sim/vector_path.h"

namespace kav {

constexpr int kInputGainCount = kInputCount / 2;
static_assert(kNetworkInputs == kInputCount);

// The network's answer: thrust along the heading and 90 degrees counter-clockwise from it.
struct ControlOutput {
    float forward = 0;
    float lateral = 0;
};

// -1 for x < 0, +1 otherwise (so sign(0) = +1).
inline float sign(float x) { return x < 0.0f ? -1.0f : 1.0f; }

// The network alone: input gains, pooling, hidden gains and the two outputs, every
// intermediate value rounded to single precision as it is formed.
ControlOutput evaluateNetwork(const float* genome, const InputVector& inputs);

// The networks of `lanes.count` Agents on the given vector path, one Agent per lane: every
// lane computes one of the scalar evaluation's values with the same operations in the same
// order, so every number comes out with evaluateNetwork's bits (packed IEEE arithmetic
// rounds each lane as the scalar instruction does). A result that is not a number is not a
// number on every path, with a sign and payload that the compiler's operand order picks.
void evaluateNetworks(VectorPath path, const NetworkLanes& lanes);

// The thrust's energy cost, then the next velocity with drag and limit. cosH and sinH are
// the cosine and sine of the heading, each rounded to single precision.
void steer(Agent& agent, ControlOutput thrust, float cosH, float sinH,
           const ModelSettings& settings);

// Network (on the Agent's Genome) and steering, with the cosine and sine of the Agent's
// heading.
ControlOutput control(Agent& agent, const float* genome, const InputVector& inputs,
                      const ModelSettings& settings);

// The cosine and sine of an Agent's heading, each rounded to float, from the frame that
// sensing built from the negated heading.
struct HeadingCosSin {
    float cosH;
    float sinH;
};
inline HeadingCosSin headingCosSin(const Agent& agent, const FrameRotation& frame) {
    // The frame's rotation is by the negated heading; the cosine is even and the sine odd
    // to the last bit, so these are the heading's own cosine and sine. A heading that is
    // not finite has a sine that is not a number, whose sign negation would change.
    if (!std::isfinite(agent.heading))
        return {static_cast<float>(std::cos(double(agent.heading))),
                static_cast<float>(std::sin(double(agent.heading)))};
    return {frame.cosNeg, -frame.sinNeg};
}

}  // namespace kav
