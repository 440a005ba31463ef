#pragma once
#include <cstdint>
#include <string>

#include <SDL.h>
#include <glm/glm.hpp>

#include "evo/population.h"
#include "render/pose.h"

namespace kav {

// The drawing side of the program: one OpenGL context for the window, its fixed state
// (depth test, light, projection) and the two agent shapes as vertex buffers. It only
// draws: the world it is given is const. One instance per program.
class Renderer {
public:
    Renderer() = default;
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;
    ~Renderer();

    // Makes the context for the window (after releasing any earlier one) with the
    // projection of the current client size, the light and the render states.
    // False on failure; failure() then says what failed.
    bool setupDevice(SDL_Window* window);
    // Builds the Predator and Prey shape buffers on the current context.
    bool createShapes();
    // Releases the shapes and the context, whatever of them exists.
    void releaseDevice();

    // A frame of the normal mode: the back buffer cleared and every Agent drawn at the
    // fraction t of its current move. Changes nothing in the world; the caller decides
    // when the world ticks and when the frame is shown (present).
    void drawFrame(const Population& population, float t);
    // A frame of the fast drawn mode: every Agent where it stands, without smoothing.
    void drawStanding(const Population& population);
    // Shows the back buffer in the window.
    void present();

    // Clears the back buffer to the background and the depth buffer to far.
    void clearTarget();
    // Draws all Agents at the fraction t of the current tick, into the back buffer.
    void drawInterpolated(const Population& population, float t);

    // Draw one Agent of the slot at the fraction t of its move; the matching shape must
    // be the current vertex stream.
    void drawPredator(const Population& population, int slot, float t);
    void drawPrey(const Population& population, int slot, float t);

    bool ready() const { return context_ != nullptr && shapesMade_; }
    // Whether the swap waits for the display's retrace; the caller caps the paced mode
    // where it does not.
    bool vsync() const { return vsync_; }
    const std::string& failure() const { return failure_; }

private:
    void useShape(unsigned buffer);
    bool drawShape(const DrawnPose& pose);

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    unsigned predatorShape_ = 0;
    unsigned preyShape_ = 0;
    bool shapesMade_ = false;
    bool bgraColours_ = true;
    bool vsync_ = false;
    glm::mat4 view_{1.0f};
    std::string failure_;
};

}  // namespace kav
