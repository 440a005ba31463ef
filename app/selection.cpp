#include "app/selection.h"

#include "render/shapes.h"

namespace kav {

DrawnPose drawnPose(const World& world, bool predator, int slot, FrameTime frame) {
    const Agent& agent = predator ? world.predators[slot] : world.prey[slot];
    if (frame.standing) return standingPose(agent);
    return predator ? predatorPose(agent, frame.t, world.settings.arena)
                    : preyPose(agent, frame.t, world.settings.arena);
}

float drawnRadius(bool predator) { return predator ? kPredatorShape.radius : kPreyShape.radius; }

Selection pickAgent(const World& world, glm::vec2 point, FrameTime frame, float tolerance) {
    Selection best;
    float bestDistance = 0;
    for (const bool predator : {true, false}) {
        const int count = predator ? world.predatorCount : world.preyCount;
        for (int slot = 0; slot < count; ++slot) {
            const DrawnPose pose = drawnPose(world, predator, slot, frame);
            if (!pose.visible()) continue;
            const float distance = glm::length(glm::vec2(pose.x, pose.y) - point);
            if (distance > drawnRadius(predator) * pose.scale + tolerance) continue;
            if (!best.active || distance < bestDistance) {
                best = {true, predator, slot};
                bestDistance = distance;
            }
        }
    }
    return best;
}

bool selectionValid(const World& world, const Selection& selection) {
    if (!selection.active) return false;
    const int count = selection.predator ? world.predatorCount : world.preyCount;
    return selection.slot >= 0 && selection.slot < count;
}

}  // namespace kav
