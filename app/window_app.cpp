#include "app/window_app.h"

#include <backends/imgui_impl_opengl2.h>
#include <backends/imgui_impl_sdl.h>
#include <cstdio>
#include <cstdlib>
#include <imgui.h>

#include "app/agent_details.h"
#include "app/display.h"
#include "app/lost_display.h"
#include "app/screenshot.h"
#include "app/title.h"
#include "render/transforms.h"

namespace kav {

namespace {

// Ticks of the fast mode without drawing run in bursts this long between looks at the
// window's events, the title and the panel.
constexpr double kFastBurstMs = 5.0;
// The clock is read after this many ticks of a burst.
constexpr int kTicksPerClockReading = 8;
// A paused frame waits this long for an event before it is drawn again.
constexpr int kPausedWaitMs = 33;
// A click selects an Agent within this many pixels of its drawn disc.
constexpr float kPickPixels = 4.0f;
// The smallest window: the panel and some arena beside it.
constexpr int kMinimumWindowWidth = 500;
constexpr int kMinimumWindowHeight = 360;
// The ring's radius, in drawn radii of the selected Agent.
constexpr float kRingScale = 1.45f;

WindowApp* theApp = nullptr;  // for the lost display's handler

double nowMs() {
    return static_cast<double>(SDL_GetPerformanceCounter()) * 1000.0 /
           static_cast<double>(SDL_GetPerformanceFrequency());
}

Key keyOf(SDL_Keycode code) {
    switch (code) {
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return Key::ctrl;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return Key::shift;
        case SDLK_LEFT:
            return Key::left;
        case SDLK_RIGHT:
            return Key::right;
        case SDLK_UP:
            return Key::up;
        case SDLK_DOWN:
            return Key::down;
        case SDLK_SPACE:
            return Key::space;
        case SDLK_PERIOD:
        case SDLK_KP_PERIOD:
            return Key::period;
        case SDLK_COMMA:
            return Key::comma;
        case SDLK_PAGEUP:
            return Key::pageUp;
        case SDLK_PAGEDOWN:
            return Key::pageDown;
        case SDLK_HOME:
            return Key::home;
        case SDLK_END:
            return Key::end;
        case SDLK_h:
        case SDLK_F1:
            return Key::panel;
        case SDLK_F12:
            return Key::screenshot;
        case SDLK_r:
            return Key::record;
        case SDLK_ESCAPE:
            return Key::escape;
        default:
            return Key::other;
    }
}

// Keys whose auto-repeat would undo the press (pause, panel) or repeat a file.
bool ignoresRepeat(Key key) {
    return key == Key::space || key == Key::panel || key == Key::screenshot || key == Key::record ||
           key == Key::escape;
}

void lostDisplay() {
    if (theApp != nullptr) theApp->saveAfterLostDisplay();
}

}  // namespace

namespace {

RunSettings runSettings(const WindowOptions& options) {
    RunSettings settings;
    settings.folder = options.folder.empty() ? "." : options.folder;
    settings.seed = options.seed;
    settings.logFile = options.logFile;
    settings.program = "kavrosa";
    settings.arguments = options.arguments;
    settings.newSettings = options.newSettings;
    settings.parameters = options.parameters;
    settings.archiveEvery = options.archiveEvery;
    settings.rewindable = true;
    return settings;
}

}  // namespace

WindowApp::WindowApp(Population& world, const WindowOptions& options)
    : world_(world),
      options_(options),
      folder_(runSettings(options)),
      run_(world, std::size_t(options.rewindMemoryMiB) << 20),
      autosaveEvery_(options.autosaveSeconds * 1000.0) {}

int WindowApp::startFailure(const std::string& what, const std::string& why) {
    std::fprintf(stderr, "kavrosa: %s%s%s\n", what.c_str(), why.empty() ? "" : ": ", why.c_str());
    renderer_.releaseDevice();
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    window_ = nullptr;
    SDL_Quit();
    return 1;
}

bool WindowApp::startVideo() {
    // Without a display SDL would fall back to drawing offscreen, where nobody sees the
    // window; such drivers only when asked for by name.
    const VideoDriverChoice choice = chooseVideoDrivers(
        std::getenv("SDL_VIDEODRIVER"), std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"));
    if (!choice.missing.empty()) {
        startFailure(choice.missing, "");
        return false;
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, choice.drivers.c_str());
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        startFailure(
            "cannot open the display",
            std::string(SDL_GetError()) + "; kavrosa-evolve runs the evolution without a window");
        return false;
    }
    window_ = SDL_CreateWindow("Kavrosa", 100, 100, 800, 600,
                               SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (window_ == nullptr) {
        startFailure("cannot create the window", SDL_GetError());
        return false;
    }
    SDL_SetWindowMinimumSize(window_, kMinimumWindowWidth, kMinimumWindowHeight);
    if (!renderer_.setupDevice(window_) || !renderer_.createShapes()) {
        startFailure("cannot set up drawing", renderer_.failure());
        return false;
    }
    updateArenaView();
    if (SDL_strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) {
        theApp = this;
        watchDisplayConnection(lostDisplay);
    }
    return true;
}

void WindowApp::startPanel() {
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // nothing written beside the Genome file
    io.LogFilename = nullptr;
    ImGui::StyleColorsDark();
    ImGui_ImplSDL2_InitForOpenGL(window_, renderer_.context());
    ImGui_ImplOpenGL2_Init();
    imguiStarted_ = true;
}

void WindowApp::stopVideo() {
    if (imguiStarted_) {
        ImGui_ImplOpenGL2_Shutdown();
        ImGui_ImplSDL2_Shutdown();
        ImGui::DestroyContext();
        imguiStarted_ = false;
    }
    renderer_.releaseDevice();
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    window_ = nullptr;
    theApp = nullptr;
    SDL_Quit();
}

void WindowApp::remakeDevice() {
    // A new context and shapes for the new client size; should either fail, nothing is
    // drawn until the next size change. The panel's font texture belongs to the old
    // context; ImGui makes it again on the new one.
    if (imguiStarted_) ImGui_ImplOpenGL2_DestroyDeviceObjects();
    panelBuilt_ = false;
    if (renderer_.setupDevice(window_)) renderer_.createShapes();
    updateArenaView();
    if (flags_.fastNoDraw) renderer_.waitForRetrace(false);
}

void WindowApp::updateArenaView() {
    int width = 0;
    int height = 0;
    int windowWidth = 0;
    int windowHeight = 0;
    SDL_GL_GetDrawableSize(window_, &width, &height);
    SDL_GetWindowSize(window_, &windowWidth, &windowHeight);
    const float scale =
        windowWidth > 0 ? static_cast<float>(width) / static_cast<float>(windowWidth) : 1.0f;
    const int reserved = panelShown_ ? static_cast<int>(Panel::width * scale + 0.5f) : 0;
    const Arena& arena = world_.world.settings.arena;
    arenaView_ = arenaView(width, height, reserved, aspectShowingArena(arena.xMin, arena.xMax));
    renderer_.setArenaView(arenaView_);
}

void WindowApp::fitWindowToPanel() {
    const Uint32 flags = SDL_GetWindowFlags(window_);
    if ((flags & (SDL_WINDOW_MAXIMIZED | SDL_WINDOW_FULLSCREEN | SDL_WINDOW_FULLSCREEN_DESKTOP)) ==
        0) {
        int width = 0;
        int height = 0;
        SDL_GetWindowSize(window_, &width, &height);
        const int panel = static_cast<int>(Panel::width);
        SDL_SetWindowSize(window_, panelShown_ ? width + panel : width - panel, height);
    }
    updateArenaView();
}

int WindowApp::run() {
    if (!startVideo()) return 1;
    // Another program at work on the folder: refused before the window shows.
    if (!folder_.lock()) {
        stopVideo();
        std::fprintf(stderr, "kavrosa: %s\n", folder_.failure().c_str());
        return 3;
    }
    startPanel();

    flags_ = {};
    SDL_ShowWindow(window_);
    if (!folder_.open(world_)) {
        stopVideo();
        std::fprintf(stderr, "kavrosa: %s\n", folder_.failure().c_str());
        return 2;
    }
    startTimeline();
    tick();
    refreshTitle();
    speedSince_ = nowMs();
    speedTick_ = world_.world.tick;

    while (running_) {
        SDL_Event event;
        while (running_ && SDL_PollEvent(&event) != 0) handle(event);
        if (!running_) break;
        pass();
    }

    recording_.finish();
    stopVideo();
    if (!save()) {
        std::fprintf(stderr, "kavrosa: the Genomes were not saved\n");
        return 1;
    }
    return 0;
}

bool WindowApp::save() { return folder_.checkpoint(run_.worldToSave()); }

// The timeline begins with the log's rows of this evolution, so that a reopened run shows
// its history.
void WindowApp::startTimeline() {
    std::vector<ReportPoint> earlier;
    if (!options_.logFile.empty()) {
        std::string why;
        constexpr std::size_t kLargestLogRead = std::size_t(1) << 30;
        const std::optional<std::string> text =
            readTextFile(options_.logFile, why, kLargestLogRead);
        if (text) {
            earlier = pointsOfLog(logRecords(*text), folder_.eventsAtLastLogRow());
        } else {
            std::fprintf(stderr, "kavrosa: the plots begin now: cannot read the log %s (%s)\n",
                         options_.logFile.c_str(), why.c_str());
        }
    }
    run_.start(std::move(earlier));
}

void WindowApp::jumpTo(std::int64_t tick) {
    tickInProgress_ = true;
    const bool moved = run_.jumpTo(tick);
    tickInProgress_ = false;
    if (!moved) return;
    // The frame shows the world where it stands; the paced mode smooths from there, and
    // the speed is measured from here.
    pacing_.restart(SDL_GetTicks());
    speedSince_ = nowMs();
    speedTick_ = world_.world.tick;
    panelEvery_.hurry();
    panelFrameEvery_.hurry();
    titleEvery_.hurry();
}

void WindowApp::saveAfterLostDisplay() {
    recording_.finish();  // needs no display
    if (tickInProgress_) {
        std::fprintf(stderr,
                     "kavrosa: lost the connection to the display during a tick; "
                     "the last save is kept\n");
        return;
    }
    const bool saved = save();
    std::fprintf(stderr, "kavrosa: lost the connection to the display; %s\n",
                 saved ? "the Genomes were saved" : "the Genomes were not saved");
}

// --- events ---------------------------------------------------------------------

void WindowApp::handle(const SDL_Event& event) {
    if (panelShown_) ImGui_ImplSDL2_ProcessEvent(&event);
    switch (event.type) {
        case SDL_KEYDOWN:
            onKey(event.key);
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (event.button.button == SDL_BUTTON_LEFT) onClick(event.button.x, event.button.y);
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) remakeDevice();
            break;
        case SDL_QUIT:
            running_ = false;
            break;
        default:
            break;
    }
}

void WindowApp::onKey(const SDL_KeyboardEvent& key) {
    const Key which = keyOf(key.keysym.sym);
    if (key.repeat != 0 && ignoresRepeat(which)) return;
    const bool wasPaused = flags_.paused;
    const KeyEffect effect =
        applyKey(which, flags_, world_.world.predatorCount, world_.world.preyCount);
    if (effect.restartPacing) pacing_.restart(SDL_GetTicks());
    if (effect.sizeChange) run_.requestSizeChange(effect.add, effect.predator);
    if (effect.rewindBy != 0) jumpTo(world_.world.tick + effect.rewindBy);
    if (effect.toOldest) jumpTo(run_.oldestTick());
    if (effect.toNewest) jumpTo(run_.newestTick());
    if (effect.pauseChanged) {
        if (flags_.paused) {
            pacing_.pause(SDL_GetTicks());
        } else if (wasPaused) {
            pacing_.resume(SDL_GetTicks());
        }
    }
    if (effect.step) tick();
    if (effect.togglePanel) {
        panelShown_ = !panelShown_;
        panelBuilt_ = false;
        fitWindowToPanel();
        panelEvery_.hurry();
        panelFrameEvery_.hurry();
    }
    if (effect.screenshot) screenshotAsked_ = true;
    if (effect.record) toggleRecording();
    if (effect.quit) running_ = false;
    renderer_.waitForRetrace(!flags_.fastNoDraw);
    titleEvery_.hurry();
}

void WindowApp::onClick(int x, int y) {
    int windowWidth = 0;
    int windowHeight = 0;
    SDL_GetWindowSize(window_, &windowWidth, &windowHeight);
    if (windowWidth <= 0 || windowHeight <= 0) return;
    if (panelShown_ && static_cast<float>(x) >= Panel::left(windowWidth)) return;  // the panel's
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(window_, &width, &height);
    const float sx = static_cast<float>(width) / static_cast<float>(windowWidth);
    const float sy = static_cast<float>(height) / static_cast<float>(windowHeight);
    // Pixel centres lie at .5, as the projection places them.
    const glm::vec2 pixel((static_cast<float>(x) + 0.5f) * sx, (static_cast<float>(y) + 0.5f) * sy);
    const ArenaView& view = arenaView_;
    const glm::vec2 inView =
        pixel - glm::vec2(static_cast<float>(view.x), static_cast<float>(view.y));
    const glm::vec2 point = clientToArena(inView, view.width, view.height);
    const glm::vec2 aside =
        clientToArena(inView + glm::vec2(kPickPixels * sx, 0.0f), view.width, view.height);
    selection_ = pickAgent(world_.world, point, lastFrame_, glm::length(aside - point));
    panelEvery_.hurry();
    panelFrameEvery_.hurry();
}

// --- the loop's passes -------------------------------------------------------------

void WindowApp::pass() {
    if (flags_.paused) {
        pausedPass();
    } else if (flags_.fastDraw) {
        fastDrawnPass();
    } else if (flags_.fastNoDraw) {
        fastPass();
    } else {
        pacedPass();
    }
    const double now = nowMs();
    measureSpeed(now);
    if (titleEvery_.due(now)) refreshTitle();
    if (autosaveEvery_.due(now)) save();
}

// The normal mode: a frame at the fraction of the tick period that has passed, and a
// tick when the period is over (after the drawing, before the frame is shown). No
// tick while there is nothing to draw with, until a size change makes a context.
void WindowApp::pacedPass() {
    if (!renderer_.ready()) return;
    pacing_.beginFrame(SDL_GetTicks);
    composeFrame({false, pacing_.interpolation}, true);
    if (pacing_.tickDue(SDL_GetTicks)) tick();
    renderer_.present();
    capFrame();
}

// The fast drawn mode: a tick, the world drawn where it stands, another tick. The
// panel is built at most 30 times a second and drawn again from what ImGui holds in
// between.
void WindowApp::fastDrawnPass() {
    tick();
    composeFrame({true, 0.0f}, panelEvery_.due(nowMs()));
    renderer_.present();
    tick();
}

// The fast mode without drawing: ticks, and nothing drawn unless the panel is shown
// (4 frames a second, the world where it stands beneath it) or a screenshot was asked
// for.
void WindowApp::fastPass() {
    const double until = nowMs() + kFastBurstMs;
    do {
        for (int i = 0; i < kTicksPerClockReading; ++i) tick();
    } while (nowMs() < until);
    if ((panelShown_ && panelFrameEvery_.due(nowMs())) || screenshotAsked_) {
        composeFrame({true, 0.0f}, true);
        renderer_.present();
    }
}

// Paused: the frame holds still, in the mode's own way, and is drawn again only for
// the panel, the ring or a screenshot; between frames the loop waits for events.
void WindowApp::pausedPass() {
    const bool drawn = !flags_.fastNoDraw || panelShown_ || screenshotAsked_;
    if (drawn) {
        if (flags_.fastDraw || flags_.fastNoDraw) {
            composeFrame({true, 0.0f}, true);
        } else {
            composeFrame({false, pacing_.interpolation}, true);
        }
        renderer_.present();
    }
    SDL_WaitEventTimeout(nullptr, kPausedWaitMs);
}

void WindowApp::capFrame() {
    if (!renderer_.frameCapNeeded()) return;
    const double wait = frameCap_.waitAfterFrame(nowMs());
    if (wait >= 1.0) SDL_Delay(static_cast<Uint32>(wait));
}

// --- ticks and reports ---------------------------------------------------------------

void WindowApp::tick() {
    tickInProgress_ = true;
    tickInFolder(run_, folder_);
    tickInProgress_ = false;
}

// --- drawing ---------------------------------------------------------------------------

void WindowApp::composeFrame(FrameTime frame, bool rebuildPanel) {
    if (!renderer_.ready()) return;
    if (frame.standing) {
        renderer_.drawStanding(world_.world);
    } else {
        renderer_.drawFrame(world_.world, frame.t);
    }
    lastFrame_ = frame;
    if (selection_.active && !selectionValid(world_.world, selection_)) selection_ = {};
    if (selection_.active) {
        const DrawnPose pose = drawnPose(world_.world, selection_.predator, selection_.slot, frame);
        renderer_.drawSelectionRing(pose, kRingScale * drawnRadius(selection_.predator));
    }
    if (panelShown_) drawPanel(rebuildPanel);
    if (screenshotAsked_) takeScreenshot();
    if (recording_.frameDue(nowMs())) recordFrame();
}

void WindowApp::drawPanel(bool rebuild) {
    if (rebuild || !panelBuilt_) {
        ImGui_ImplOpenGL2_NewFrame();
        ImGui_ImplSDL2_NewFrame();
        ImGui::NewFrame();
        PanelInputs in;
        in.world = &world_;
        in.history = &run_.history();
        in.run = &run_;
        in.flags = flags_;
        in.ticksPerSecond = ticksPerSecond_;
        in.selection = selection_;
        in.totals = totalsOf(world_.events());
        const ImVec2 size = ImGui::GetIO().DisplaySize;
        const PanelRequest request =
            panel_.build(in, static_cast<int>(size.x), static_cast<int>(size.y));
        ImGui::Render();
        panelBuilt_ = true;
        if (request.undoChange) run_.undoChange();
        if (request.jump) jumpTo(request.tick);
    }
    renderer_.prepareOverlay();
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
}

void WindowApp::takeScreenshot() {
    screenshotAsked_ = false;
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    if (!renderer_.readBackBuffer(pixels, width, height)) {
        std::fprintf(stderr, "kavrosa: cannot read the window's picture for a screenshot\n");
        return;
    }
    const auto path = screenshotPath(".", world_.world.tick);
    if (writeScreenshot(path, width, height, pixels)) {
        std::fprintf(stderr, "kavrosa: screenshot %s (%d x %d)\n", path.filename().string().c_str(),
                     width, height);
    } else {
        std::fprintf(stderr, "kavrosa: cannot write the screenshot %s\n", path.string().c_str());
    }
}

void WindowApp::toggleRecording() {
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(window_, &width, &height);
    recording_.toggle(".", world_.world.tick, width, height);
}

void WindowApp::recordFrame() {
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    if (renderer_.readBackBuffer(pixels, width, height)) recording_.addFrame(pixels, width, height);
}

void WindowApp::refreshTitle() {
    std::string title =
        windowTitle(world_.world.tick, world_.world.predatorCount, world_.world.preyCount, flags_,
                    run_.newestTick() - run_.tickNow());
    if (title != title_) {
        SDL_SetWindowTitle(window_, title.c_str());
        title_ = std::move(title);
    }
}

void WindowApp::measureSpeed(double now) {
    if (!speedEvery_.due(now)) return;
    const double seconds = (now - speedSince_) / 1000.0;
    if (seconds > 0)
        ticksPerSecond_ = static_cast<double>(world_.world.tick - speedTick_) / seconds;
    speedSince_ = now;
    speedTick_ = world_.world.tick;
}

}  // namespace kav
