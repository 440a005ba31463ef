#pragma once

namespace kav {

enum class Key { ctrl, shift, left, right, up, down, other };

// The run mode: at most one of the two is true; both false is the normal, paced mode.
struct RunFlags {
    bool fastNoDraw = false;  // ticks as fast as the loop allows, nothing drawn
    bool fastDraw = false;    // ticks as fast as the loop allows, drawn without smoothing
};

// What a key press asks of the rest of the program besides the flags it flips.
struct KeyEffect {
    bool restartPacing = false;  // the press returned the program to the normal mode
    bool sizeChange = false;     // one Agent to add or remove at the next tick
    bool add = false;
    bool predator = false;
};

// Ctrl and Shift toggle their fast mode and clear the other; Right/Left add/remove a
// Prey (up to 200, down to 1), Up/Down a Predator (up to 40, down to 1), judged by the
// counts as they stand at the press.
KeyEffect applyKey(Key key, RunFlags& flags, int predatorCount, int preyCount);

}  // namespace kav
