#include "app/keys.h"

#include "sim/agent.h"

namespace kav {

namespace {

KeyEffect resize(bool allowed, bool add, bool predator) {
    KeyEffect effect;
    effect.sizeChange = allowed;
    effect.add = add;
    effect.predator = predator;
    return effect;
}

}  // namespace

KeyEffect applyKey(Key key, RunFlags& flags, int predatorCount, int preyCount) {
    KeyEffect effect;
    switch (key) {
        case Key::ctrl:
            flags.fastNoDraw = !flags.fastNoDraw;
            flags.fastDraw = false;
            effect.restartPacing = !flags.fastNoDraw;
            return effect;
        case Key::shift:
            flags.fastDraw = !flags.fastDraw;
            flags.fastNoDraw = false;
            effect.restartPacing = !flags.fastDraw;
            return effect;
        case Key::right:
            return resize(preyCount < kMaxPrey, true, false);
        case Key::left:
            return resize(preyCount > 1, false, false);
        case Key::up:
            return resize(predatorCount < kMaxPredators, true, true);
        case Key::down:
            return resize(predatorCount > 1, false, true);
        case Key::space:
            flags.paused = !flags.paused;
            effect.pauseChanged = true;
            return effect;
        case Key::period:
            effect.step = flags.paused;
            return effect;
        case Key::comma:
            if (flags.paused) effect.rewindBy = -1;
            return effect;
        case Key::pageUp:
            effect.rewindBy = -kRewindPage;
            return effect;
        case Key::pageDown:
            effect.rewindBy = kRewindPage;
            return effect;
        case Key::home:
            effect.toOldest = true;
            return effect;
        case Key::end:
            effect.toNewest = true;
            return effect;
        case Key::panel:
            effect.togglePanel = true;
            return effect;
        case Key::screenshot:
            effect.screenshot = true;
            return effect;
        case Key::record:
            effect.record = true;
            return effect;
        case Key::escape:
            effect.quit = true;
            return effect;
        case Key::other:
            break;
    }
    return effect;
}

}  // namespace kav
