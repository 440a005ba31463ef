#pragma once
#include <glm/glm.hpp>

#include "evo/world.h"
#include "render/pose.h"

namespace kav {

// The Agent the user picked, by its slot: when the slot's Agent is replaced, the
// selection follows the newcomer.
struct Selection {
    bool active = false;
    bool predator = false;
    int slot = 0;
};

// How the current frame draws the Agents: part-way through their moves at t, or where
// they stand (the fast drawn mode).
struct FrameTime {
    bool standing = false;
    float t = 0;
};

DrawnPose drawnPose(const World& world, bool predator, int slot, FrameTime frame);

// Radius of the drawn disc of each kind, in arena units.
float drawnRadius(bool predator);

// The Agent whose drawn centre lies nearest to `point` (in the arena's plane) and no
// farther than its drawn radius plus `tolerance`; none when no Agent is that near.
// Agents not shown in the frame (a caught Prey that has shrunk away) are not picked.
Selection pickAgent(const World& world, glm::vec2 point, FrameTime frame, float tolerance);

// Whether the selection still names a slot in use; a slot beyond a shrunken count
// does not.
bool selectionValid(const World& world, const Selection& selection);

}  // namespace kav
