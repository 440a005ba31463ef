// The window program: one window showing the arena, the simulation advancing in every
// idle moment in one of three run modes, keys for the modes and the population sizes,
// and the Genomes saved when the window is closed.
#include <csignal>
#include <cstdio>
#include <string>

#include <SDL.h>

#include "app/keys.h"
#include "evo/population.h"
#include "render/pacing.h"
#include "render/renderer.h"

namespace {

// The world and the drawing resources live for the whole program.
kav::Population population;
kav::Renderer renderer;
kav::RunFlags flags;
kav::Pacing pacing;  // when the normal mode ticks; the renderer only draws
kav::FrameCap frameCap;

kav::Key keyOf(SDL_Keycode code) {
    switch (code) {
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return kav::Key::ctrl;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return kav::Key::shift;
        case SDLK_LEFT:
            return kav::Key::left;
        case SDLK_RIGHT:
            return kav::Key::right;
        case SDLK_UP:
            return kav::Key::up;
        case SDLK_DOWN:
            return kav::Key::down;
        default:
            return kav::Key::other;
    }
}

void onKey(SDL_Keycode code) {
    const kav::KeyEffect effect =
        kav::applyKey(keyOf(code), flags, population.predatorCount, population.preyCount);
    if (effect.restartPacing) pacing.restart(SDL_GetTicks());
    if (effect.sizeChange) population.requestSizeChange(effect.add, effect.predator);
}

double nowMs() {
    return static_cast<double>(SDL_GetPerformanceCounter()) * 1000.0 /
           static_cast<double>(SDL_GetPerformanceFrequency());
}

// The normal mode: a frame at the fraction of the tick period that has passed, and a
// tick when the period is over (after the drawing, before the frame is shown). No
// tick while there is nothing to draw with, until a size change makes a context.
void pacedPass() {
    if (!renderer.ready()) return;
    pacing.beginFrame(SDL_GetTicks);
    renderer.drawFrame(population, pacing.interpolation);
    if (pacing.tickDue(SDL_GetTicks)) population.runTick();
    renderer.present();
    if (!renderer.vsync()) {
        const double wait = frameCap.waitAfterFrame(nowMs());
        if (wait >= 1.0) SDL_Delay(static_cast<Uint32>(wait));
    }
}

// The fast drawn mode: a tick, the world drawn where it stands, another tick.
void fastDrawnPass() {
    population.runTick();
    renderer.drawStanding(population);
    renderer.present();
    population.runTick();
}

void idlePass() {
    if (flags.fastDraw) {
        fastDrawnPass();
    } else if (flags.fastNoDraw) {
        population.runTick();
    } else {
        pacedPass();
    }
}

int fail(const char* what, const std::string& why) {
    std::fprintf(stderr, "kavrosa: %s: %s\n", what, why.c_str());
    renderer.releaseDevice();
    SDL_Quit();
    return 1;
}

}  // namespace

int main(int, char**) {
    // SDL turns SIGINT and SIGTERM into a quit event, which saves the Genomes, but only
    // for signals left at their default action; a background job starts with SIGINT
    // ignored.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);

    if (SDL_Init(SDL_INIT_VIDEO) != 0) return fail("cannot start the video system", SDL_GetError());
    SDL_Window* window =
        SDL_CreateWindow("Kavrosa", 100, 100, 800, 600,
                         SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (window == nullptr) return fail("cannot create the window", SDL_GetError());
    if (!renderer.setupDevice(window)) return fail("cannot set up drawing", renderer.failure());
    if (!renderer.createShapes()) return fail("cannot set up drawing", renderer.failure());

    flags = {};
    SDL_ShowWindow(window);
    population.setupStandard();
    population.runTick();

    bool saved = true;
    bool running = true;
    while (running) {
        SDL_Event event;
        if (SDL_PollEvent(&event) == 0) {
            idlePass();
            continue;
        }
        switch (event.type) {
            case SDL_KEYDOWN:  // auto-repeats included
                onKey(event.key.keysym.sym);
                break;
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                    // A new context and shapes for the new client size; should either
                    // fail, nothing is drawn until the next size change.
                    if (renderer.setupDevice(window)) renderer.createShapes();
                }
                break;
            case SDL_QUIT:
                renderer.releaseDevice();
                saved = population.saveGenomes();
                running = false;
                break;
            default:
                break;
        }
    }

    SDL_DestroyWindow(window);
    SDL_Quit();
    if (!saved) {
        std::fprintf(stderr, "kavrosa: the Genomes were not saved\n");
        return 1;
    }
    return 0;
}
