#include "render/pose.h"

#include <cmath>

namespace kav {

float drawnHeading(float heading, float prevHeading, float t) {
    float h = heading;
    float p = prevHeading;
    if (std::fabs(h - p) > kDrawPi) {
        if (p > h) {
            p = p - kDrawTwoPi;
        } else {
            h = h - kDrawTwoPi;
        }
    }
    const float turn = (h - p) * t;
    return p + turn;
}

void reflectIntoArena(float& x, float& y, const Arena& arena) {
    if (x > arena.xMax) x = 2.0f * arena.xMax - x;
    if (x < arena.xMin) x = 2.0f * arena.xMin - x;
    if (y > arena.yMax) y = 2.0f * arena.yMax - y;
    if (y < arena.yMin) y = 2.0f * arena.yMin - y;
}

namespace {

DrawnPose alongMove(const Agent& agent, float s, float t, const Arena& arena) {
    DrawnPose pose;
    const float dx = s * agent.vx;
    const float dy = s * agent.vy;
    pose.x = agent.x + dx;
    pose.y = agent.y + dy;
    reflectIntoArena(pose.x, pose.y, arena);
    pose.angle = drawnHeading(agent.heading, agent.prevHeading, t);
    return pose;
}

}  // namespace

DrawnPose predatorPose(const Agent& predator, float t, const Arena& arena) {
    const bool stopped = predator.captured != 0 && predator.contactTime < t;
    return alongMove(predator, stopped ? predator.contactTime : t, t, arena);
}

DrawnPose preyPose(const Agent& prey, float t, const Arena& arena) {
    const bool caught = prey.captured != 0;
    DrawnPose pose = alongMove(prey, caught ? prey.contactTime : t, t, arena);
    if (caught) {
        // sqrt of a negative remainder is NaN, which visible() also rejects.
        pose.scale = t < 1.0f ? std::sqrt(1.0f - t) : 0.0f;
    }
    return pose;
}

DrawnPose standingPose(const Agent& agent) {
    DrawnPose pose;
    pose.x = agent.x;
    pose.y = agent.y;
    pose.angle = agent.heading;
    return pose;
}

}  // namespace kav
