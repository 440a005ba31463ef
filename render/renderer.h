#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <SDL.h>
#include <glm/glm.hpp>

#include "evo/world.h"
#include "render/pacing.h"
#include "render/pose.h"
#include "render/transforms.h"

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
    // Where the arena is drawn in the client area (the whole of it until set).
    void setArenaView(const ArenaView& view);

    // A frame of the normal mode: the back buffer cleared and every Agent drawn at the
    // fraction t of its current move. Changes nothing in the world; the caller decides
    // when the world ticks and when the frame is shown (present).
    void drawFrame(const World& world, float t);
    // A frame of the fast drawn mode: every Agent where it stands, without smoothing.
    void drawStanding(const World& world);
    // A ring about the drawn Agent, in the selection colour (used for nothing else).
    void drawSelectionRing(const DrawnPose& pose, float radius);
    // Leaves the context as an overlay drawn with client-side arrays (the panel)
    // expects it: no vertex buffer bound.
    void prepareOverlay();
    // Reads the back buffer as drawn so far: RGBA, bottom row first.
    bool readBackBuffer(std::vector<std::uint8_t>& rgba, int& width, int& height);
    // Shows the back buffer in the window.
    void present();

    // Clears the back buffer to the background and the depth buffer to far.
    void clearTarget();
    // Draws all Agents at the fraction t of the current tick, into the back buffer.
    void drawInterpolated(const World& world, float t);

    // Draw one Agent of the slot at the fraction t of its move; the matching shape must
    // be the current vertex stream.
    void drawPredator(const World& world, int slot, float t);
    void drawPrey(const World& world, int slot, float t);

    bool ready() const { return context_ != nullptr && shapesMade_; }
    SDL_GLContext context() const { return context_; }
    // Whether the swap is known to wait for the display's retrace. Where it is not,
    // the caller caps the frames that need no speed (the normal mode, paused frames).
    bool vsyncConfirmed() const { return vsyncCheck_.confirmed(); }
    bool frameCapNeeded() const { return !vsyncCheck_.confirmed() && !vsyncCheck_.judging(); }
    // Swaps without waiting for the retrace (the fast mode without drawing, whose
    // few frames show the panel) or, again, with it where the driver offers it.
    void waitForRetrace(bool wait);
    const std::string& failure() const { return failure_; }

private:
    void applyArenaView();
    void useShape(unsigned buffer);
    bool drawShape(const DrawnPose& pose);

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    ArenaView arenaView_;  // width 0: the whole client area
    unsigned predatorShape_ = 0;
    unsigned preyShape_ = 0;
    bool shapesMade_ = false;
    bool bgraColours_ = true;
    bool vsync_ = false;  // the driver accepted a swap interval of 1
    bool waiting_ = true;
    VsyncCheck vsyncCheck_;
    glm::mat4 view_{1.0f};
    std::string failure_;
};

}  // namespace kav
