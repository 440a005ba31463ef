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

}  // namespace
}  // namespace kav
