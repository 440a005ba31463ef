#pragma once
// Steering's values by Agent as arrays, read and written in whole vectors: the arrays are
// aligned to 64 bytes and padded to a multiple of sixteen entries. The kernels of the wider
// units take them (their files see no other type, see sim/nearest_kernel.h).
namespace kav {

struct SteerLanes {
    const float* forward;  // the network's thrust
    const float* lateral;
    const float* cosH;  // of the heading, rounded to float
    const float* sinH;
    float* energy;  // in and out
    const float* vx;
    const float* vy;
    float* nextVx;  // out: the velocity of the next move
    float* nextVy;
    int count;
    // The model's numbers of steering.
    float thrustCost;
    float drag;
    float maxSpeed;
};

void steerLanesScalar(const SteerLanes& lanes);
void steerLanesSse2(const SteerLanes& lanes);
void steerLanesAvx2(const SteerLanes& lanes);
void steerLanesAvx512(const SteerLanes& lanes);

}  // namespace kav
