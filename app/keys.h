#pragma once
#include <cstdint>

namespace kav {

enum class Key {
    ctrl,
    shift,
    left,
    right,
    up,
    down,
    space,
    period,
    comma,
    pageUp,
    pageDown,
    home,
    end,
    panel,
    screenshot,
    record,
    escape,
    other
};

// The run mode: at most one of the two fast flags is true; both false is the normal,
// paced mode. Pausing holds any of the three.
struct RunFlags {
    bool fastNoDraw = false;  // ticks as fast as the loop allows, nothing drawn
    bool fastDraw = false;    // ticks as fast as the loop allows, drawn without smoothing
    bool paused = false;      // no ticks but single steps; the frame holds still
};

// Ticks of a Page Up or Page Down.
constexpr std::int64_t kRewindPage = 1000;

// What a key press asks of the rest of the program besides the flags it flips.
struct KeyEffect {
    bool restartPacing = false;  // the press returned the program to the normal mode
    bool sizeChange = false;     // one Agent to add or remove at the next tick
    bool add = false;
    bool predator = false;
    bool pauseChanged = false;  // `paused` was flipped
    bool step = false;          // one tick, while paused
    // Where the world goes on the timeline: by so many ticks (back when negative), or to
    // the oldest or the newest tick the rewind reaches.
    std::int64_t rewindBy = 0;
    bool toOldest = false;
    bool toNewest = false;
    bool togglePanel = false;
    bool screenshot = false;
    bool record = false;
    bool quit = false;  // as the window's close button
};

// Ctrl and Shift toggle their fast mode and clear the other; Right/Left add/remove a
// Prey (up to 200, down to 1), Up/Down a Predator (up to 40, down to 1), judged by the
// counts as they stand at the press. Space pauses and resumes; `.` asks for one tick
// while paused, `,` one tick back while paused; Page Up / Page Down go 1,000 ticks
// back / forward and Home / End to the oldest / newest tick, in every mode; H (or F1) shows and
// hides the panel; F12 asks for a screenshot; R starts and stops a recording; Esc closes the
// program.
KeyEffect applyKey(Key key, RunFlags& flags, int predatorCount, int preyCount);

}  // namespace kav
