#include "sim/controller.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// Every value that is a number comes out with the scalar evaluation's bits. A value that is
// not a number stays one, but its sign and payload are not fixed by the source in either
// form: x86 takes them from the first operand when both are NaN, and the compiler commutes
// the operands of scalar and packed additions and multiplications alike.
ControlOutput evaluateNetworkPacked(const float* g, const InputVector& inputs) {
    const float* in = inputs.data();
    // Input gains: gain i multiplies inputs 2i and 2i + 1, so four inputs take two gains,
    // each twice. The ten products stay in registers.
    __m128 weighted[kInputCount / 4];
    for (int b = 0; b < kInputCount / 4; ++b) {
        const __m128 gains = _mm_castsi128_ps(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(g + kInputGains + 2 * b)));
        weighted[b] = _mm_mul_ps(_mm_loadu_ps(in + 4 * b), _mm_unpacklo_ps(gains, gains));
    }
    // Pooling, hidden values 0-3 and 4-7 in the lanes: the k-th term of hidden j (j < 8) is
    // weighted[4k + j], or weighted[16 + 4k + j - 4]; hidden 8 and 9 pool the pairs
    // (32 + 2k, 33 + 2k), lanes 0 and 1 of the wall products. Every sum starts at 0 and
    // adds its terms in order.
    const __m128 pool0 = _mm_loadu_ps(g + kPoolingWeights);
    const __m128 pool1 = _mm_loadu_ps(g + kPoolingWeights + 4);
    const __m128 pool2 = _mm_loadu_ps(g + kPoolingWeights + 8);  // lanes 2, 3 unused
    const __m128 wallPairs[4] = {weighted[8], _mm_movehl_ps(weighted[8], weighted[8]), weighted[9],
                                 _mm_movehl_ps(weighted[9], weighted[9])};
    __m128 sum0 = _mm_setzero_ps();
    __m128 sum1 = _mm_setzero_ps();
    __m128 sum2 = _mm_setzero_ps();
    for (int k = 0; k < 4; ++k) {
        sum0 = _mm_add_ps(_mm_mul_ps(weighted[k], pool0), sum0);
        sum1 = _mm_add_ps(_mm_mul_ps(weighted[4 + k], pool1), sum1);
        sum2 = _mm_add_ps(_mm_mul_ps(wallPairs[k], pool2), sum2);
    }
    const __m128 hidden0 = _mm_mul_ps(sum0, _mm_loadu_ps(g + kHiddenGains));      // h0-h3
    const __m128 hidden1 = _mm_mul_ps(sum1, _mm_loadu_ps(g + kHiddenGains + 4));  // h4-h7
    const __m128 hidden2 = _mm_mul_ps(sum2, _mm_loadu_ps(g + kHiddenGains + 8));  // h8, h9
    // Even and odd hidden values for k = 0-4 (lane 0 of the second pair is k = 4).
    const __m128 even = _mm_shuffle_ps(hidden0, hidden1, _MM_SHUFFLE(2, 0, 2, 0));  // h0 h2 h4 h6
    const __m128 odd = _mm_shuffle_ps(hidden0, hidden1, _MM_SHUFFLE(3, 1, 3, 1));   // h1 h3 h5 h7
    const __m128 even4 = hidden2;                                                   // h8
    const __m128 odd4 = _mm_shuffle_ps(hidden2, hidden2, _MM_SHUFFLE(1, 1, 1, 1));  // h9
    // The bracketed pair of each output step.
    const __m128 forwardTerms = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(g + kForwardFromEven), even),
                                           _mm_mul_ps(_mm_loadu_ps(g + kForwardFromOdd), odd));
    const __m128 lateralTerms = _mm_add_ps(_mm_mul_ps(odd, _mm_loadu_ps(g + kLateralFromOdd)),
                                           _mm_mul_ps(even, _mm_loadu_ps(g + kLateralFromEven)));
    const __m128 forwardLast = _mm_add_ss(_mm_mul_ss(_mm_load_ss(g + kForwardFromEven + 4), even4),
                                          _mm_mul_ss(_mm_load_ss(g + kForwardFromOdd + 4), odd4));
    const __m128 lateralLast = _mm_add_ss(_mm_mul_ss(odd4, _mm_load_ss(g + kLateralFromOdd + 4)),
                                          _mm_mul_ss(even4, _mm_load_ss(g + kLateralFromEven + 4)));
    alignas(16) float f[4];
    alignas(16) float l[4];
    _mm_store_ps(f, forwardTerms);
    _mm_store_ps(l, lateralTerms);
    __m128 forward = _mm_setzero_ps();
    __m128 lateral = _mm_setzero_ps();
    for (int k = 0; k < 4; ++k) {
        forward = _mm_add_ss(forward, _mm_load_ss(f + k));
        lateral = _mm_add_ss(lateral, _mm_load_ss(l + k));
    }
    forward = _mm_mul_ss(_mm_add_ss(forward, forwardLast), _mm_load_ss(g + kForwardGain));
    lateral = _mm_mul_ss(_mm_add_ss(lateral, lateralLast), _mm_load_ss(g + kLateralGain));
    return {_mm_cvtss_f32(forward), _mm_cvtss_f32(lateral)};
}
#else
ControlOutput evaluateNetworkPacked(const float* g, const InputVector& inputs) {
    return evaluateNetwork(g, inputs);
}
#endif

void evaluateNetworks(VectorPath path, const NetworkLanes& lanes) {
#if defined(KAVROSA_VECTOR_PATHS)
    if (path == VectorPath::avx512) {
        networksAvx512(lanes);
        return;
    }
    if (path == VectorPath::avx2) {
        networksAvx2(lanes);
        return;
    }
#endif
    (void)path;
    for (int k = 0; k < lanes.count; ++k) {
        InputVector inputs;
        for (int v = 0; v < kInputCount; ++v) inputs[v] = lanes.inputs[k][v];
        const ControlOutput out = evaluateNetworkPacked(lanes.genome[k], inputs);
        lanes.forward[k] = out.forward;
        lanes.lateral[k] = out.lateral;
    }
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

ControlOutput control(Agent& agent, const float* genome, const InputVector& inputs,
                      const FrameRotation& frame, const ModelSettings& settings) {
    const ControlOutput thrust = evaluateNetworkPacked(genome, inputs);
    const HeadingCosSin heading = headingCosSin(agent, frame);
    steer(agent, thrust, heading.cosH, heading.sinH, settings);
    return thrust;
}

}  // namespace kav
