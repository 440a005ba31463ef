#pragma once
#include <cstdint>

#include "sim/agent.h"
#include "sim/arena.h"

namespace kav {

// The heading wrap uses this value of pi, not the closest float to it.
constexpr float kDrawPi = 3.141592f;
constexpr float kDrawTwoPi = 2.0f * kDrawPi;

// Where and how one Agent is drawn: centre, angle of its +x axis, and the factor of
// its shape in x and y. A scale that is not above 0 means the Agent is not shown.
struct DrawnPose {
    float x = 0;
    float y = 0;
    float angle = 0;
    float scale = 1;
    bool visible() const { return scale > 0.0f; }
};

// Turns from prevHeading towards heading by the fraction t, the shorter way round:
// when the two differ by more than pi, 2 pi is taken off the larger one first.
float drawnHeading(float heading, float prevHeading, float t);

// Mirrors a drawn position back into the arena at each wall it has passed, x before y,
// each wall at most once.
void reflectIntoArena(float& x, float& y, const Arena& arena);

// A Predator part-way through its move; a catching one stops at the catch point once
// t has passed its contact time. Never scaled.
DrawnPose predatorPose(const Agent& predator, float t, const Arena& arena);

// A Prey part-way through its move; a caught one sits at its capture point and shrinks
// by sqrt(1 - t), vanishing at t = 1.
DrawnPose preyPose(const Agent& prey, float t, const Arena& arena);

// The fast drawn mode: where the Agent stands, its current heading, full size.
DrawnPose standingPose(const Agent& agent);

}  // namespace kav
