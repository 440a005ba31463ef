#pragma once
#include <cstdint>

#include "app/history.h"
#include "app/keys.h"
#include "app/rewind.h"
#include "app/selection.h"
#include "evo/population.h"

namespace kav {

// What the panel shows besides the world itself.
struct PanelInputs {
    const Population* world = nullptr;
    const History* history = nullptr;
    const WatchedRun* run = nullptr;  // the timeline
    RunFlags flags;
    double ticksPerSecond = 0;
    EventTotals totals;  // live, since the world's set-up
    Selection selection;
};

// What the panel's controls asked for in this frame.
struct PanelRequest {
    bool jump = false;  // take the world to `tick`
    std::int64_t tick = 0;
    bool undoChange = false;  // keep the future a size change in the past would discard
};

// The panel at the right edge of the window, drawn with Dear ImGui: the run, the
// event rates, the generations, the plots of the history, the selected Agent and the
// keys. Its place is fixed, so a frame changes only there when it is shown.
class Panel {
public:
    static constexpr float width = 340.0f;

    // Builds this frame's panel (between ImGui's NewFrame and Render).
    PanelRequest build(const PanelInputs& in, int windowWidth, int windowHeight);

    // The panel's rectangle in client pixels, for whatever must avoid it.
    static float left(int windowWidth) { return static_cast<float>(windowWidth) - width; }
};

}  // namespace kav
