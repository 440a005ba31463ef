#pragma once
// The contact test of many Predator/Prey pairs at once: solveContact's operations (sim/capture.h)
// with each pair in a lane of its own, in their order, so every result has the same bits. The
// arrays are aligned to 64 bytes and padded to a multiple of sixteen entries. The kernels of
// the wider paths take them (their files see no other type, see sim/nearest_kernel.h).
#include <cstdint>

namespace kav {

struct ContactLanes {
    const float* x1;  // the Predator's start and velocity
    const float* y1;
    const float* vx1;
    const float* vy1;
    const float* x2;  // the Prey's
    const float* y2;
    const float* vx2;
    const float* vy2;
    const float* sumOfRadii;
    std::uint8_t* found;  // out: solveContact's `found` and `t1`
    float* t1;
    int count;
};

void solveContactsScalar(const ContactLanes& lanes);
void solveContactsSse2(const ContactLanes& lanes);
void solveContactsAvx2(const ContactLanes& lanes);
void solveContactsAvx512(const ContactLanes& lanes);

}  // namespace kav
