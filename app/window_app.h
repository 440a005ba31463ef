#pragma once
#include <SDL.h>
#include <cstdint>
#include <string>
#include <vector>

#include "app/history.h"
#include "app/keys.h"
#include "app/movie.h"
#include "app/panel.h"
#include "app/rewind.h"
#include "app/schedule.h"
#include "app/selection.h"
#include "app/window_options.h"
#include "evo/population.h"
#include "io/run_folder.h"
#include "render/pacing.h"
#include "render/renderer.h"

namespace kav {

// The window program: the window, its loop in the three run modes (each of them
// pausable), the keys, the pointer, the title, the panel, screenshots, recordings and the
// saves.
// One instance per program; the world is the program's one Population.
class WindowApp {
public:
    WindowApp(Population& world, const WindowOptions& options);
    WindowApp(const WindowApp&) = delete;
    WindowApp& operator=(const WindowApp&) = delete;

    // Opens the window, sets up the world and runs until the window is closed; the
    // process exit status.
    int run();

    // The world's atomic save (genom.gen and its sidecar, each through a temporary
    // file, and the log's rows); false when the previous files had to be kept.
    bool save();
    // The lost display connection's last act: a save, unless a tick is under way.
    void saveAfterLostDisplay();

private:
    int startFailure(const std::string& what, const std::string& why);
    bool startVideo();
    void startPanel();
    void stopVideo();
    void remakeDevice();
    // The arena beside the panel, never under it: the view left of the panel's place.
    void updateArenaView();
    // The window grows by the panel's width when it opens and shrinks when it closes.
    void fitWindowToPanel();

    void handle(const SDL_Event& event);
    void onKey(const SDL_KeyboardEvent& key);
    void onClick(int x, int y);

    void pass();
    void pacedPass();
    void fastDrawnPass();
    void fastPass();
    void pausedPass();

    void tick();
    void startTimeline();
    // Moves the world along its timeline (see WatchedRun); the frame follows.
    void jumpTo(std::int64_t tick);
    // Draws the world as `frame` says, then the ring, the panel and any screenshot
    // asked for; the caller presents it.
    void composeFrame(FrameTime frame, bool rebuildPanel);
    void drawPanel(bool rebuild);
    void takeScreenshot();
    void toggleRecording();
    void recordFrame();
    void capFrame();
    void refreshTitle();
    void measureSpeed(double now);

    Population& world_;
    WindowOptions options_;
    RunFolder folder_;  // the lock, genom.gen with its sidecar, statistics files, log
    SDL_Window* window_ = nullptr;
    Renderer renderer_;
    ArenaView arenaView_;  // in drawable pixels
    bool imguiStarted_ = false;
    bool panelBuilt_ = false;  // ImGui holds a panel that can be drawn again
    Panel panel_;
    bool panelShown_ = false;
    WatchedRun run_;  // the world's timeline and the plots' history

    RunFlags flags_;
    Pacing pacing_;
    FrameCap frameCap_;
    FrameTime lastFrame_;
    Selection selection_;
    bool screenshotAsked_ = false;
    WindowRecording recording_;
    bool tickInProgress_ = false;
    bool running_ = true;

    Every titleEvery_{250.0};
    // The panel in the fast modes: rebuilt 30 times a second in the fast drawn mode;
    // in the fast mode without drawing it brings frames of its own, which cost too much
    // of that mode's speed at more than 4 a second with a software renderer.
    Every panelEvery_{1000.0 / 30.0};
    Every panelFrameEvery_{250.0};
    Every speedEvery_{500.0};
    Every autosaveEvery_;
    double speedSince_ = 0;
    std::int64_t speedTick_ = 0;
    double ticksPerSecond_ = 0;
    std::string title_;
};

}  // namespace kav
