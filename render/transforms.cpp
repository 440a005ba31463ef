#include "render/transforms.h"

#include <algorithm>
#include <cmath>

#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_transform.hpp>
#include <glm/matrix.hpp>

namespace kav {

float clientAspect(int clientWidth, int clientHeight) {
    return static_cast<float>(static_cast<double>(clientWidth) / static_cast<double>(clientHeight));
}

glm::mat4 projectionMatrix(float aspect) {
    return glm::perspectiveLH_NO(kFieldOfView, aspect, kNearPlane, kFarPlane);
}

glm::mat4 viewMatrix() {
    return glm::lookAtLH(glm::vec3(0.0f, 0.0f, -10.0f), glm::vec3(0.0f, 0.0f, 0.0f),
                         glm::vec3(0.0f, 1.0f, 0.0f));
}

glm::mat4 worldMatrix(const DrawnPose& pose) {
    glm::mat4 m = glm::translate(glm::mat4(1.0f), glm::vec3(pose.x, pose.y, 0.0f));
    m = glm::scale(m, glm::vec3(pose.scale, pose.scale, 1.0f));
    return glm::rotate(m, pose.angle, glm::vec3(0.0f, 0.0f, 1.0f));
}

glm::vec2 projectToClient(const glm::vec3& world, int clientWidth, int clientHeight) {
    const glm::vec4 clip = projectionMatrix(clientAspect(clientWidth, clientHeight)) *
                           viewMatrix() * glm::vec4(world, 1.0f);
    const float ndcX = clip.x / clip.w;
    const float ndcY = clip.y / clip.w;
    return {(ndcX + 1.0f) * 0.5f * static_cast<float>(clientWidth),
            (1.0f - ndcY) * 0.5f * static_cast<float>(clientHeight)};
}

glm::vec2 clientToArena(glm::vec2 client, int clientWidth, int clientHeight) {
    // The pixel's ray from the camera, through the inverse of projection and view, met
    // with the arena's plane z = 0.
    const glm::mat4 inverse =
        glm::inverse(projectionMatrix(clientAspect(clientWidth, clientHeight)) * viewMatrix());
    const float ndcX = client.x / static_cast<float>(clientWidth) * 2.0f - 1.0f;
    const float ndcY = 1.0f - client.y / static_cast<float>(clientHeight) * 2.0f;
    glm::vec4 nearPoint = inverse * glm::vec4(ndcX, ndcY, -1.0f, 1.0f);
    glm::vec4 farPoint = inverse * glm::vec4(ndcX, ndcY, 1.0f, 1.0f);
    nearPoint /= nearPoint.w;
    farPoint /= farPoint.w;
    const float s = nearPoint.z / (nearPoint.z - farPoint.z);
    return {nearPoint.x + s * (farPoint.x - nearPoint.x),
            nearPoint.y + s * (farPoint.y - nearPoint.y)};
}

ArenaView arenaView(int clientWidth, int clientHeight, int reservedRight, float minAspect) {
    ArenaView view;
    view.width = std::max(1, clientWidth - std::max(0, reservedRight));
    view.height = std::max(1, clientHeight);
    const int highest = static_cast<int>(static_cast<float>(view.width) / minAspect);
    if (minAspect > 0 && highest < view.height) {
        view.y = (view.height - std::max(1, highest)) / 2;
        view.height = std::max(1, highest);
    }
    return view;
}

float aspectShowingArena(float xMin, float xMax) {
    const float halfWidth = std::max(std::fabs(xMin), std::fabs(xMax));
    const float halfHeightSeen = 10.0f * std::tan(kFieldOfView * 0.5f);  // at the camera's distance
    return halfWidth / halfHeightSeen;
}

}  // namespace kav
