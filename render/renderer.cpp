#include "render/renderer.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <SDL_opengl.h>
#include <glm/gtc/type_ptr.hpp>

#include "render/shapes.h"
#include "render/transforms.h"

namespace kav {

namespace {

// Buffer objects are not part of the GL 1.1 interface the system library exports, so
// they are looked up through SDL for the current context.
PFNGLGENBUFFERSPROC genBuffers = nullptr;
PFNGLBINDBUFFERPROC bindBuffer = nullptr;
PFNGLBUFFERDATAPROC bufferData = nullptr;
PFNGLDELETEBUFFERSPROC deleteBuffers = nullptr;

bool loadBufferFunctions() {
    genBuffers = reinterpret_cast<PFNGLGENBUFFERSPROC>(SDL_GL_GetProcAddress("glGenBuffers"));
    bindBuffer = reinterpret_cast<PFNGLBINDBUFFERPROC>(SDL_GL_GetProcAddress("glBindBuffer"));
    bufferData = reinterpret_cast<PFNGLBUFFERDATAPROC>(SDL_GL_GetProcAddress("glBufferData"));
    deleteBuffers =
        reinterpret_cast<PFNGLDELETEBUFFERSPROC>(SDL_GL_GetProcAddress("glDeleteBuffers"));
    return genBuffers != nullptr && bindBuffer != nullptr && bufferData != nullptr &&
           deleteBuffers != nullptr;
}

// A call whose failure would otherwise hold the frame gets this many attempts; after
// that the Agent is left out of the frame.
constexpr int kAttempts = 3;

template <class Call>
bool attempt(Call&& call) {
    for (int i = 0; i < kAttempts; ++i) {
        call();
        if (glGetError() == GL_NO_ERROR) return true;
    }
    return false;
}

constexpr GLsizei kStride = sizeof(ShapeVertex);

double nowMs() {
    return static_cast<double>(SDL_GetPerformanceCounter()) * 1000.0 /
           static_cast<double>(SDL_GetPerformanceFrequency());
}

}  // namespace

Renderer::~Renderer() { releaseDevice(); }

bool Renderer::setupDevice(SDL_Window* window) {
    releaseDevice();
    failure_.clear();
    window_ = window;

    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    context_ = SDL_GL_CreateContext(window);
    if (context_ == nullptr) {
        failure_ = std::string("cannot create an OpenGL 2.1 context: ") + SDL_GetError();
        return false;
    }
    if (SDL_GL_MakeCurrent(window, context_) != 0) {
        failure_ = std::string("cannot use the OpenGL context: ") + SDL_GetError();
        return false;
    }
    if (!loadBufferFunctions()) {
        failure_ = "the OpenGL driver offers no vertex buffer objects";
        return false;
    }
    bgraColours_ = SDL_GL_ExtensionSupported("GL_ARB_vertex_array_bgra") == SDL_TRUE ||
                   SDL_GL_ExtensionSupported("GL_EXT_vertex_array_bgra") == SDL_TRUE;
    vsync_ = SDL_GL_SetSwapInterval(1) == 0 && SDL_GL_GetSwapInterval() == 1;
    waiting_ = true;
    SDL_DisplayMode mode{};
    const int displayIndex = SDL_GetWindowDisplayIndex(window);
    const int displayHz = displayIndex >= 0 && SDL_GetCurrentDisplayMode(displayIndex, &mode) == 0
                              ? mode.refresh_rate
                              : 0;
    vsyncCheck_.reset(vsync_, displayHz);

    // Both faces drawn; a later shape at equal depth draws over an earlier one.
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glClearColor(8.0f / 255.0f, 8.0f / 255.0f, 8.0f / 255.0f, 1.0f);
    glClearDepth(1.0);

    applyArenaView();

    // One white light shining from the camera along +z. Every normal has z = -1, so the
    // diffuse term is the full vertex colour; the material's ambient colour is black,
    // so the global ambient adds nothing and each vertex shows exactly its own colour.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const GLfloat towardsLight[4] = {0.0f, 0.0f, -1.0f, 0.0f};
    const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 0.0f};
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat ambient[4] = {96.0f / 255.0f, 96.0f / 255.0f, 96.0f / 255.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, towardsLight);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_AMBIENT, black);
    glLightfv(GL_LIGHT0, GL_SPECULAR, black);
    glEnable(GL_LIGHT0);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, black);
    glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHTING);

    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);

    view_ = viewMatrix();
    return true;
}

bool Renderer::createShapes() {
    if (context_ == nullptr) {
        failure_ = "no OpenGL context for the shapes";
        return false;
    }
    while (glGetError() != GL_NO_ERROR) {}
    unsigned buffers[2] = {0, 0};
    genBuffers(2, buffers);
    predatorShape_ = buffers[0];
    preyShape_ = buffers[1];
    for (const auto& [buffer, style] :
         {std::pair{predatorShape_, kPredatorShape}, std::pair{preyShape_, kPreyShape}}) {
        std::vector<std::uint8_t> bytes = buildShapeBuffer(style);
        if (!bgraColours_) {
            // Without BGRA vertex colours the copy on the device holds R, G, B, A.
            for (int v = 0; v < kShapeVertexCount; ++v) {
                std::swap(bytes[v * kStride + 24], bytes[v * kStride + 26]);
            }
        }
        bindBuffer(GL_ARRAY_BUFFER, buffer);
        bufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes.size()), bytes.data(),
                   GL_STATIC_DRAW);
    }
    bindBuffer(GL_ARRAY_BUFFER, 0);
    const GLenum error = glGetError();
    if (buffers[0] == 0 || buffers[1] == 0 || error != GL_NO_ERROR) {
        failure_ = "cannot create the agent shapes (OpenGL error " + std::to_string(error) + ")";
        return false;
    }
    shapesMade_ = true;
    return true;
}

void Renderer::releaseDevice() {
    if (context_ != nullptr) {
        SDL_GL_MakeCurrent(window_, context_);
        if (deleteBuffers != nullptr) {
            if (predatorShape_ != 0) deleteBuffers(1, &predatorShape_);
            if (preyShape_ != 0) deleteBuffers(1, &preyShape_);
        }
        SDL_GL_DeleteContext(context_);
    }
    predatorShape_ = 0;
    preyShape_ = 0;
    shapesMade_ = false;
    context_ = nullptr;
}

void Renderer::clearTarget() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }

void Renderer::useShape(unsigned buffer) {
    bindBuffer(GL_ARRAY_BUFFER, buffer);
    glVertexPointer(3, GL_FLOAT, kStride, reinterpret_cast<const void*>(0));
    glNormalPointer(GL_FLOAT, kStride, reinterpret_cast<const void*>(12));
    glColorPointer(bgraColours_ ? GL_BGRA : 4, GL_UNSIGNED_BYTE, kStride,
                   reinterpret_cast<const void*>(24));
}

bool Renderer::drawShape(const DrawnPose& pose) {
    if (!pose.visible()) return true;
    const glm::mat4 modelView = view_ * worldMatrix(pose);
    if (!attempt([&] { glLoadMatrixf(glm::value_ptr(modelView)); })) return false;
    if (!attempt([] { glDrawArrays(GL_TRIANGLE_FAN, 0, kRimSegments + 2); })) return false;
    return attempt([] { glDrawArrays(GL_TRIANGLES, kPointerFirst, 3); });
}

namespace {

Arena arenaOf(const World& world) { return world.settings.arena; }

}  // namespace

void Renderer::drawPredator(const World& world, int slot, float t) {
    drawShape(predatorPose(world.predators[slot], t, arenaOf(world)));
}

void Renderer::drawPrey(const World& world, int slot, float t) {
    drawShape(preyPose(world.prey[slot], t, arenaOf(world)));
}

void Renderer::drawInterpolated(const World& world, float t) {
    useShape(predatorShape_);
    for (int i = 0; i < world.predatorCount; ++i) drawPredator(world, i, t);
    useShape(preyShape_);
    for (int i = 0; i < world.preyCount; ++i) drawPrey(world, i, t);
}

namespace {

// An overlay drawn between frames (the panel) may have turned these off.
void enableShapeArrays() {
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
}

}  // namespace

void Renderer::drawFrame(const World& world, float t) {
    if (!ready()) return;
    enableShapeArrays();
    clearTarget();
    view_ = viewMatrix();
    drawInterpolated(world, t);
}

void Renderer::drawStanding(const World& world) {
    if (!ready()) return;
    enableShapeArrays();
    clearTarget();
    view_ = viewMatrix();
    useShape(predatorShape_);
    for (int i = 0; i < world.predatorCount; ++i) {
        drawShape(standingPose(world.predators[i]));
    }
    useShape(preyShape_);
    for (int i = 0; i < world.preyCount; ++i) drawShape(standingPose(world.prey[i]));
}

void Renderer::drawSelectionRing(const DrawnPose& pose, float radius) {
    if (!ready()) return;
    constexpr int kRingSegments = 48;
    bindBuffer(GL_ARRAY_BUFFER, 0);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glColor3ub(kSelectionColour.r, kSelectionColour.g, kSelectionColour.b);
    glLineWidth(2.0f);
    DrawnPose centre;
    centre.x = pose.x;
    centre.y = pose.y;
    const glm::mat4 modelView = view_ * worldMatrix(centre);
    glLoadMatrixf(glm::value_ptr(modelView));
    GLfloat ring[kRingSegments * 3];
    for (int k = 0; k < kRingSegments; ++k) {
        const float a = static_cast<float>(k) * 6.2831855f / kRingSegments;
        ring[3 * k] = radius * std::cos(a);
        ring[3 * k + 1] = radius * std::sin(a);
        ring[3 * k + 2] = 0.0f;
    }
    glVertexPointer(3, GL_FLOAT, 0, ring);
    glDrawArrays(GL_LINE_LOOP, 0, kRingSegments);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    enableShapeArrays();
}

void Renderer::setArenaView(const ArenaView& view) {
    arenaView_ = view;
    if (context_ != nullptr) applyArenaView();
}

void Renderer::applyArenaView() {
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(window_, &width, &height);
    ArenaView view = arenaView_;
    if (view.width <= 0 || view.height <= 0) view = {0, 0, width, height};
    // OpenGL counts rows from the bottom.
    glViewport(view.x, height - view.y - view.height, view.width, view.height);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(glm::value_ptr(projectionMatrix(clientAspect(view.width, view.height))));
    glMatrixMode(static_cast<GLenum>(mode));
}

void Renderer::prepareOverlay() {
    if (ready()) bindBuffer(GL_ARRAY_BUFFER, 0);
}

bool Renderer::readBackBuffer(std::vector<std::uint8_t>& rgba, int& width, int& height) {
    if (!ready()) return false;
    SDL_GL_GetDrawableSize(window_, &width, &height);
    if (width <= 0 || height <= 0) return false;
    rgba.assign(static_cast<std::size_t>(width) * height * 4, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return glGetError() == GL_NO_ERROR;
}

void Renderer::present() {
    if (!ready()) return;
    SDL_GL_SwapWindow(window_);
    // A swap need not hand the frame's commands to the driver: on an offscreen surface
    // it does nothing at all, and the commands of frame after frame would pile up in
    // the driver's queue. Flushed here, each frame's work is done before the next.
    glFlush();
    if (waiting_) vsyncCheck_.swapped(nowMs());
}

void Renderer::waitForRetrace(bool wait) {
    if (!ready() || !vsync_ || wait == waiting_) return;
    SDL_GL_SetSwapInterval(wait ? 1 : 0);
    waiting_ = wait;
}

}  // namespace kav
