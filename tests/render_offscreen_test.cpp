// Drawing into an offscreen OpenGL context (SDL's offscreen video driver, EGL) and
// reading the pixels back: background, placement, colours, lighting, draw order.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <SDL.h>
#include <SDL_opengl.h>
#include <gtest/gtest.h>

#include "evo/population.h"
#include "render/renderer.h"
#include "render/shapes.h"
#include "render/transforms.h"

namespace kav {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

struct Rgb {
    int r, g, b;
};

class OffscreenDrawing : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            skipReason = std::string("no video driver: ") + SDL_GetError();
            return;
        }
        window = SDL_CreateWindow("Kavrosa", 0, 0, kWidth, kHeight,
                                  SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (window == nullptr) {
            skipReason = std::string("no window: ") + SDL_GetError();
            return;
        }
        renderer = new Renderer;
        if (!renderer->setupDevice(window) || !renderer->createShapes()) {
            skipReason = renderer->failure();
        }
    }
    static void TearDownTestSuite() {
        delete renderer;
        renderer = nullptr;
        if (window != nullptr) SDL_DestroyWindow(window);
        SDL_Quit();
    }
    void SetUp() override {
        if (!skipReason.empty()) GTEST_SKIP() << skipReason;
        world.world.settings.arena = kStandardArena;
        world.world.predatorCount = 0;
        world.world.preyCount = 0;
    }

    Agent& addPredator(float x, float y, float heading) {
        return place(world.world.predators[world.world.predatorCount++], x, y, heading);
    }
    Agent& addPrey(float x, float y, float heading) {
        return place(world.world.prey[world.world.preyCount++], x, y, heading);
    }

    static Agent& place(Agent& a, float x, float y, float heading) {
        a = Agent{};
        a.x = x;
        a.y = y;
        a.heading = heading;
        a.prevHeading = heading;
        return a;
    }

    void draw(float t) {
        renderer->clearTarget();
        renderer->drawInterpolated(world.world, t);
        glFinish();
        pixels.assign(kWidth * kHeight * 4, 0);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    // The pixel under a world point, found through the projection.
    Rgb at(float wx, float wy) const {
        const glm::vec2 p = projectToClient({wx, wy, 0.0f}, kWidth, kHeight);
        const int col = static_cast<int>(std::floor(p.x));
        const int rowFromBottom = kHeight - 1 - static_cast<int>(std::floor(p.y));
        const std::uint8_t* px = &pixels[(rowFromBottom * kWidth + col) * 4];
        return {px[0], px[1], px[2]};
    }

    static void expectBackground(Rgb c) {
        EXPECT_EQ(c.r, 8);
        EXPECT_EQ(c.g, 8);
        EXPECT_EQ(c.b, 8);
    }

    static inline std::string skipReason;
    static inline SDL_Window* window = nullptr;
    static inline Renderer* renderer = nullptr;
    static inline Population world;
    std::vector<std::uint8_t> pixels;
};

TEST_F(OffscreenDrawing, PredatorAppearsWhereTheProjectionPutsItInItsOwnColours) {
    addPredator(4.5f, 0.0f, 0.0f);
    draw(0.0f);
    expectBackground(at(0.0f, 0.0f));
    expectBackground(at(-4.9f, 3.9f));
    expectBackground(at(4.5f, 0.3f));  // just outside the disc of radius 0.25

    const Rgb centre = at(4.5f, -0.04f);  // by the yellow centre, beside the pointer
    EXPECT_GE(centre.r, 240);
    EXPECT_GE(centre.g, 200);
    EXPECT_EQ(centre.b, 0);
    const Rgb rim = at(4.5f, -0.23f);  // near the red rim, away from the pointer
    EXPECT_GE(rim.r, 240);
    EXPECT_LE(rim.g, 60);
    EXPECT_EQ(rim.b, 0);
    // The pointer lies along the heading, +x, widest at its base behind the centre;
    // shaded between 0x66 and 0xCC blue. The red and green stay exactly 0: the ambient
    // light adds nothing to a vertex colour.
    const Rgb pointer = at(4.5f - 0.1f, 0.0f);
    EXPECT_EQ(pointer.r, 0);
    EXPECT_EQ(pointer.g, 0);
    EXPECT_GE(pointer.b, 0x66);
    EXPECT_LE(pointer.b, 0xCC);
    expectBackground(at(4.5f - 0.1f, 0.3f));
}

TEST_F(OffscreenDrawing, HeadingTurnsThePointerCounterClockwise) {
    addPrey(-3.0f, 2.0f, 1.5707964f);  // heading up: the pointer is vertical
    draw(0.0f);
    const Rgb up = at(-3.0f, 2.0f - 0.08f);  // the pointer's base lies behind the centre
    EXPECT_GE(up.r, 0x66);
    EXPECT_EQ(up.g, 0);
    EXPECT_EQ(up.b, 0);
    const Rgb right = at(-3.0f + 0.06f, 2.0f);  // disc: yellow towards white, not the pointer
    EXPECT_GE(right.g, 200);
    EXPECT_GE(right.b, 60);
}

TEST_F(OffscreenDrawing, InterpolatedMoveAndShrinkingCaughtPrey) {
    Agent& runner = addPrey(-1.0f, -1.0f, 0.0f);
    runner.vx = 0.8f;
    Agent& caught = addPrey(2.0f, -2.0f, 0.0f);
    caught.vx = 0.4f;
    caught.captured = 1;
    caught.contactTime = 0.5f;  // caught at (2.2, -2)
    draw(0.75f);
    // The free Prey is three quarters of the way along its move.
    EXPECT_GE(at(-0.4f, -1.0f - 0.05f).g, 200);
    expectBackground(at(-1.0f, -1.0f - 0.05f));
    // The caught one is at its capture point at half its radius of 0.16.
    EXPECT_GE(at(2.2f, -2.0f - 0.05f).g, 200);
    expectBackground(at(2.2f, -2.0f - 0.12f));
    draw(0.0f);
    EXPECT_GE(at(2.2f, -2.0f - 0.12f).g, 200);  // full size at the start of the tick
    draw(1.0f);
    expectBackground(at(2.2f, -2.0f));  // gone when the tick is due
}

TEST_F(OffscreenDrawing, PreyDrawOverPredatorsAtEqualDepth) {
    addPredator(0.0f, 0.0f, 0.0f);
    addPrey(0.0f, 0.0f, 0.0f);
    draw(0.0f);
    // Inside the Prey's white-rimmed disc the blue channel shows; the Predator's disc
    // beneath it has none.
    const Rgb c = at(0.0f, -0.13f);
    EXPECT_GE(c.b, 100);
    EXPECT_GE(at(0.0f, -0.22f).r, 200);  // the Predator's rim still shows outside it
    EXPECT_EQ(at(0.0f, -0.22f).b, 0);
}

TEST_F(OffscreenDrawing, AMoveBeyondAWallIsDrawnMirroredInside) {
    Agent& a = addPredator(4.9f, 0.0f, 0.0f);
    a.vx = 0.4f;
    draw(1.0f);  // 0.3 beyond x = 5, drawn at 4.7
    EXPECT_GE(at(4.7f, -0.05f).g, 150);
    expectBackground(at(5.2f, -0.05f));
}

}  // namespace
}  // namespace kav
