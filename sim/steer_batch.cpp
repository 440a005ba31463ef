#include "sim/steer_batch.h"

#include "sim/kernels_of.h"

namespace kav {

void SteerBatch::run(VectorPath path, const ModelSettings& settings) {
    const SteerLanes lanes{forward.data(),   lateral.data(), cosH.data(),         sinH.data(),
                           energy.data(),    vx.data(),      vy.data(),           nextVx.data(),
                           nextVy.data(),    count,          settings.thrustCost, settings.drag,
                           settings.maxSpeed};
    constexpr KernelsOf<SteerLanes> kKernels KAV_KERNELS_OF(steerLanes);
    kKernels.run(path, lanes);
    for (int i = 0; i < count; ++i) {
        Agent& a = *agents[i];
        a.energy = energy[i];
        a.nextVx = nextVx[i];
        a.nextVy = nextVy[i];
    }
}

}  // namespace kav
