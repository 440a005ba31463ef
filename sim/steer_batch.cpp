#include "sim/steer_batch.h"

#include "sim/controller.h"

namespace kav {

void SteerBatch::run(VectorPath path, const ModelSettings& settings) {
#if defined(KAVROSA_VECTOR_PATHS)
    const SteerLanes lanes{forward.data(),   lateral.data(), cosH.data(),         sinH.data(),
                           energy.data(),    vx.data(),      vy.data(),           nextVx.data(),
                           nextVy.data(),    count,          settings.thrustCost, settings.drag,
                           settings.maxSpeed};
    if (path == VectorPath::avx512) steerLanesAvx512(lanes);
    else if (path == VectorPath::avx2) steerLanesAvx2(lanes);
    else
#endif
    {
        (void)path;
        for (int i = 0; i < count; ++i)
            steer(*agents[i], {forward[i], lateral[i]}, cosH[i], sinH[i], settings);
        return;
    }
    for (int i = 0; i < count; ++i) {
        Agent& a = *agents[i];
        a.energy = energy[i];
        a.nextVx = nextVx[i];
        a.nextVy = nextVy[i];
    }
}

}  // namespace kav
