// The key table of the window: mode toggles, the pacing restart and the size limits.
#include <gtest/gtest.h>

#include "app/keys.h"

namespace kav {
namespace {

struct Press {
    RunFlags flags;
    KeyEffect press(Key key, int predators = 10, int prey = 150) {
        return applyKey(key, flags, predators, prey);
    }
};

TEST(KeyTable, CtrlAndShiftToggleTheirModeAndClearTheOther) {
    Press s;
    EXPECT_FALSE(s.press(Key::ctrl).restartPacing);  // normal -> fast without drawing
    EXPECT_TRUE(s.flags.fastNoDraw);
    EXPECT_FALSE(s.flags.fastDraw);

    EXPECT_FALSE(s.press(Key::shift).restartPacing);  // straight to fast drawn
    EXPECT_TRUE(s.flags.fastDraw);
    EXPECT_FALSE(s.flags.fastNoDraw);

    EXPECT_FALSE(s.press(Key::ctrl).restartPacing);  // and back to fast without drawing
    EXPECT_TRUE(s.flags.fastNoDraw);
    EXPECT_FALSE(s.flags.fastDraw);

    EXPECT_TRUE(s.press(Key::ctrl).restartPacing);  // turned off: normal, fresh interval
    EXPECT_FALSE(s.flags.fastNoDraw);
    EXPECT_FALSE(s.flags.fastDraw);

    EXPECT_FALSE(s.press(Key::shift).restartPacing);
    EXPECT_TRUE(s.press(Key::shift).restartPacing);
    EXPECT_FALSE(s.flags.fastDraw);
    EXPECT_FALSE(s.flags.fastNoDraw);
}

TEST(KeyTable, HeldModeKeyTogglesWithEveryRepeat) {
    Press s;
    int restarts = 0;
    for (int i = 0; i < 5; ++i) restarts += s.press(Key::shift).restartPacing ? 1 : 0;
    EXPECT_TRUE(s.flags.fastDraw);
    EXPECT_EQ(restarts, 2);
}

TEST(KeyTable, ArrowsAskForOneAgentWithinTheLimits) {
    Press s;
    KeyEffect e = s.press(Key::right, 10, 199);
    EXPECT_TRUE(e.sizeChange);
    EXPECT_TRUE(e.add);
    EXPECT_FALSE(e.predator);
    EXPECT_FALSE(s.press(Key::right, 10, 200).sizeChange);

    e = s.press(Key::left, 10, 2);
    EXPECT_TRUE(e.sizeChange);
    EXPECT_FALSE(e.add);
    EXPECT_FALSE(e.predator);
    EXPECT_FALSE(s.press(Key::left, 10, 1).sizeChange);

    e = s.press(Key::up, 39, 150);
    EXPECT_TRUE(e.sizeChange);
    EXPECT_TRUE(e.add);
    EXPECT_TRUE(e.predator);
    EXPECT_FALSE(s.press(Key::up, 40, 150).sizeChange);

    e = s.press(Key::down, 2, 150);
    EXPECT_TRUE(e.sizeChange);
    EXPECT_FALSE(e.add);
    EXPECT_TRUE(e.predator);
    EXPECT_FALSE(s.press(Key::down, 1, 150).sizeChange);

    // The Prey limits do not apply to Predators and the other way round.
    EXPECT_TRUE(s.press(Key::up, 10, 200).sizeChange);
    EXPECT_TRUE(s.press(Key::left, 1, 150).sizeChange);
}

TEST(KeyTable, ArrowsAndOtherKeysLeaveTheModeAlone) {
    Press s;
    s.press(Key::shift);
    for (Key k : {Key::left, Key::right, Key::up, Key::down, Key::other}) {
        EXPECT_FALSE(s.press(k).restartPacing);
        EXPECT_TRUE(s.flags.fastDraw);
        EXPECT_FALSE(s.flags.fastNoDraw);
    }
    EXPECT_FALSE(s.press(Key::other).sizeChange);
}

TEST(KeyTable, SpacePausesAndResumesInEveryModeAndDotStepsOnlyWhilePaused) {
    Press s;
    EXPECT_FALSE(s.press(Key::period).step);  // running: nothing to step
    for (Key mode : {Key::other, Key::ctrl, Key::shift}) {
        s.press(mode);
        const RunFlags before = s.flags;
        KeyEffect e = s.press(Key::space);
        EXPECT_TRUE(e.pauseChanged);
        EXPECT_TRUE(s.flags.paused);
        EXPECT_EQ(s.flags.fastDraw, before.fastDraw);  // the mode stays
        EXPECT_EQ(s.flags.fastNoDraw, before.fastNoDraw);
        EXPECT_TRUE(s.press(Key::period).step);
        EXPECT_TRUE(s.flags.paused);  // a step does not resume
        e = s.press(Key::space);
        EXPECT_TRUE(e.pauseChanged);
        EXPECT_FALSE(s.flags.paused);
        EXPECT_FALSE(s.press(Key::period).step);
    }
    // A mode key while paused changes the mode and keeps the pause.
    s.flags = {};
    s.press(Key::space);
    EXPECT_FALSE(s.press(Key::ctrl).restartPacing);
    EXPECT_TRUE(s.press(Key::ctrl).restartPacing);
    EXPECT_TRUE(s.flags.paused);
}

TEST(KeyTable, PanelScreenshotAndEscapeAskForThemselvesOnly) {
    Press s;
    const KeyEffect panel = s.press(Key::panel);
    EXPECT_TRUE(panel.togglePanel);
    EXPECT_FALSE(panel.screenshot || panel.quit || panel.pauseChanged);
    const KeyEffect shot = s.press(Key::screenshot);
    EXPECT_TRUE(shot.screenshot);
    EXPECT_FALSE(shot.togglePanel || shot.quit);
    const KeyEffect escape = s.press(Key::escape);
    EXPECT_TRUE(escape.quit);
    EXPECT_FALSE(escape.screenshot || escape.togglePanel || escape.sizeChange);
    EXPECT_FALSE(s.flags.paused || s.flags.fastDraw || s.flags.fastNoDraw);
}

}  // namespace
}  // namespace kav
