#pragma once
// The controller network of many Agents at once, written once over a vector type and
// compiled in one file per vector unit; each lane is one Agent and runs evaluateNetwork's
// operations in their order. Everything here has internal linkage (see
// sim/nearest_kernel.h).
#include "sim/network_lanes.h"

namespace kav {
namespace {

// `Lanes` provides the vector type F with zero(), add and mul. `weight[i]` holds weight i
// of every lane's Genome (i < kWeightsRead), `input[v]` value v of every lane's input vector.
template <class Lanes>
[[gnu::always_inline]] inline void networkOfLanes(const typename Lanes::F* weight,
                                                  const typename Lanes::F* input,
                                                  typename Lanes::F& forward,
                                                  typename Lanes::F& lateral) {
    using F = typename Lanes::F;
    F weighted[kNetworkInputs];
#pragma GCC unroll 20
    for (int i = 0; i < kNetworkInputs / 2; ++i) {
        weighted[2 * i] = Lanes::mul(weight[kInputGains + i], input[2 * i]);
        weighted[2 * i + 1] = Lanes::mul(weight[kInputGains + i], input[2 * i + 1]);
    }
    F hidden[kHiddenCount];
#pragma GCC unroll 10
    for (int j = 0; j < kHiddenCount; ++j) {
        F sum = Lanes::zero();
#pragma GCC unroll 4
        for (int n : kPooled[j])
            sum = Lanes::add(sum, Lanes::mul(weighted[n], weight[kPoolingWeights + j]));
        hidden[j] = Lanes::mul(sum, weight[kHiddenGains + j]);
    }
    F f = Lanes::zero();
    F l = Lanes::zero();
#pragma GCC unroll 5
    for (int k = 0; k < kOutputPairs; ++k) {
        f = Lanes::add(f, Lanes::add(Lanes::mul(weight[kForwardFromEven + k], hidden[2 * k]),
                                     Lanes::mul(weight[kForwardFromOdd + k], hidden[2 * k + 1])));
        l = Lanes::add(l, Lanes::add(Lanes::mul(weight[kLateralFromOdd + k], hidden[2 * k + 1]),
                                     Lanes::mul(weight[kLateralFromEven + k], hidden[2 * k])));
    }
    forward = Lanes::mul(f, weight[kForwardGain]);
    lateral = Lanes::mul(l, weight[kLateralGain]);
}

// The networks of every Agent of `n`, Lanes::kCount at a time. `Lanes` also provides
// transposed4(rows, offset, out): values offset to offset + 3 of kCount rows, out[c] holding
// value offset + c of row r in lane r; and storeFirst(to, count, v): the first `count`
// lanes of v into to[0..count).
template <class Lanes>
void networksOfAll(const NetworkLanes& n) {
    using F = typename Lanes::F;
    constexpr int kLanes = Lanes::kCount;
    for (int first = 0; first < n.count; first += kLanes) {
        // A batch that is not full repeats its last Agent in the lanes left over.
        const float* genome[kLanes];
        const float* inputs[kLanes];
        for (int lane = 0; lane < kLanes; ++lane) {
            const int k = first + lane < n.count ? first + lane : n.count - 1;
            genome[lane] = n.genome[k];
            inputs[lane] = n.inputs[k];
        }
        // Every value by lane, four at a time; the last four weights (58 to 61) overlap the
        // four before them, so that no load reaches past the weights read.
        alignas(64) F weight[kWeightsRead];
        alignas(64) F input[kNetworkInputs];
#pragma GCC unroll 16
        for (int offset = 0; offset + 4 <= kWeightsRead; offset += 4)
            Lanes::transposed4(genome, offset, weight + offset);
        Lanes::transposed4(genome, kWeightsRead - 4, weight + kWeightsRead - 4);
#pragma GCC unroll 10
        for (int offset = 0; offset < kNetworkInputs; offset += 4)
            Lanes::transposed4(inputs, offset, input + offset);
        F forward;
        F lateral;
        networkOfLanes<Lanes>(weight, input, forward, lateral);
        const int left = n.count - first < kLanes ? n.count - first : kLanes;
        Lanes::storeFirst(n.forward + first, left, forward);
        Lanes::storeFirst(n.lateral + first, left, lateral);
    }
}

}  // namespace
}  // namespace kav
