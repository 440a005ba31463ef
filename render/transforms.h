#pragma once
#include <glm/glm.hpp>

#include "render/pose.h"

namespace kav {

// The camera and projection of the arena view, as column-vector matrices for OpenGL.
// The arena lies in the plane z = 0 with x to the right and y up, seen from z = -10
// looking along +z, left-handed; depth is fitted to OpenGL's -1..1.

constexpr float kFieldOfView = 0.7853982f;  // pi / 4, vertical
constexpr float kNearPlane = 1.0f;
constexpr float kFarPlane = 100.0f;

// Aspect = client width / client height, divided in double and kept as a float; a
// zero height gives an infinite aspect, which draws nothing useful until the next size.
float clientAspect(int clientWidth, int clientHeight);
glm::mat4 projectionMatrix(float aspect);
glm::mat4 viewMatrix();

// Rotation about z by the drawn angle, then the scale in x and y, then the move to the
// drawn position.
glm::mat4 worldMatrix(const DrawnPose& pose);

// Where a world point lands in the client area, in pixels from its top-left corner
// (pixel centres at .5).
glm::vec2 projectToClient(const glm::vec3& world, int clientWidth, int clientHeight);

// The point of the arena's plane that a client pixel shows: the inverse of
// projectToClient for points with z = 0.
glm::vec2 clientToArena(glm::vec2 client, int clientWidth, int clientHeight);

// The part of a client area that shows the arena, in pixels from its top-left corner.
struct ArenaView {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The arena's part of a client area: left of `reservedRight` pixels (the panel beside the
// arena), as wide as it can be; where that part is narrower than `minAspect` (width over
// height), only as high as the aspect allows, centred vertically, so that the arena's
// whole width stays in view.
ArenaView arenaView(int clientWidth, int clientHeight, int reservedRight, float minAspect);

// The aspect at which the camera shows the arena from its left to its right wall.
float aspectShowingArena(float xMin, float xMax);

}  // namespace kav
