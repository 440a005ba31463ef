#pragma once
#include <cstdint>

#include "app/history.h"
#include "app/keys.h"
#include "app/selection.h"
#include "evo/population.h"

namespace kav {

// What the panel shows besides the world itself.
struct PanelInputs {
    const Population* world = nullptr;
    const History* history = nullptr;
    RunFlags flags;
    double ticksPerSecond = 0;
    EventTotals totals;  // live, since the world's set-up
    Selection selection;
};

// The panel at the right edge of the window, drawn with Dear ImGui: the run, the
// event rates, the generations, the plots of the history, the selected Agent and the
// keys. Its place is fixed, so a frame changes only there when it is shown.
class Panel {
public:
    static constexpr float width = 340.0f;

    // Builds this frame's panel (between ImGui's NewFrame and Render).
    void build(const PanelInputs& in, int windowWidth, int windowHeight);

    // The panel's rectangle in client pixels, for whatever must avoid it.
    static float left(int windowWidth) { return static_cast<float>(windowWidth) - width; }
};

}  // namespace kav
