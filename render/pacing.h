#pragma once
#include <cstdint>

namespace kav {

// Wall-clock pacing of the normal mode: one tick every 200 ms, and the fraction of the
// current interval that has passed, by which every Agent is drawn along its move.
// Clock readings are unsigned 32-bit milliseconds; their wrap is harmless because
// only differences are used.
struct Pacing {
    static constexpr std::uint32_t tickPeriod = 200;

    std::uint32_t tickStart = 0;  // 0: no interval begun yet
    float interpolation = 0;      // t: 0 at the start of an interval, 1 when a tick is due
    std::uint32_t elapsed = 0;    // of the current frame
    bool paused = false;          // the interval stands still at `elapsed`

    // Start of a frame: begins the first interval if none has begun, then reads the
    // clock again and sets `interpolation`, which exceeds 1 when a tick is late. While
    // paused the frame keeps the interpolation of the moment of the pause.
    template <class Clock>
    void beginFrame(Clock&& clock) {
        if (paused) return;
        if (tickStart == 0) tickStart = clock();
        const std::uint32_t now = clock();
        elapsed = now - tickStart;
        interpolation = static_cast<float>(static_cast<double>(elapsed) / tickPeriod);
    }

    // End of a frame's drawing: true when a tick is due. The new interval keeps the
    // overshoot beyond 200 ms but starts from a fresh reading, so the drawing time is
    // not counted into it. At most one tick per frame, so a stall is caught up over
    // the following frames.
    template <class Clock>
    bool tickDue(Clock&& clock) {
        if (paused || elapsed <= tickPeriod) return false;
        const std::uint32_t overshoot = elapsed - tickPeriod;
        tickStart = clock() - overshoot;
        return true;
    }

    // A key returned the program to the normal mode: a fresh interval begins now (or,
    // while paused, at the resume).
    void restart(std::uint32_t now) {
        tickStart = now;
        elapsed = 0;
        interpolation = 0;
    }

    // Holds the interval where it stands: no tick falls due while paused, and the frame
    // keeps its interpolation.
    void pause(std::uint32_t now) {
        if (paused) return;
        if (tickStart == 0) tickStart = now;
        elapsed = now - tickStart;
        interpolation = static_cast<float>(static_cast<double>(elapsed) / tickPeriod);
        paused = true;
    }

    // Continues the interval from where the pause held it, so the time spent paused
    // owes no ticks.
    void resume(std::uint32_t now) {
        if (!paused) return;
        tickStart = now - elapsed;
        paused = false;
    }
};

// Whether the swap of a frame really waits for the display: the driver may accept a
// swap interval of 1 and still return at once (an offscreen surface, a hidden window).
// Until enough frames have been seen, and once the frames came faster than half the
// display's period, the frame cap applies. Times in milliseconds.
class VsyncCheck {
public:
    static constexpr int framesToJudge = 30;

    // `claimed`: the driver accepted a swap interval of 1; `displayHz`: the display's
    // refresh rate (0 when unknown: 60 is assumed).
    void reset(bool claimed, int displayHz) {
        displayPeriod_ = 1000.0 / (displayHz > 0 ? displayHz : 60);
        frames_ = 0;
        firstSwap_ = 0.0;
        verdict_ = claimed ? Verdict::judging : Verdict::absent;
    }

    // A frame was shown at `now`, without any wait of the frame cap before it.
    void swapped(double now) {
        if (verdict_ != Verdict::judging) return;
        if (frames_ == 0) firstSwap_ = now;
        if (++frames_ <= framesToJudge) return;
        const double meanPeriod = (now - firstSwap_) / framesToJudge;
        verdict_ = meanPeriod >= 0.5 * displayPeriod_ ? Verdict::confirmed : Verdict::absent;
    }

    // Whether the swap waits for the display. While judging the frames are shown as they
    // come, so that their pace tells.
    bool confirmed() const { return verdict_ == Verdict::confirmed; }
    bool judging() const { return verdict_ == Verdict::judging; }

private:
    enum class Verdict { judging, confirmed, absent };
    double displayPeriod_ = 1000.0 / 60.0;
    int frames_ = 0;
    double firstSwap_ = 0.0;
    Verdict verdict_ = Verdict::absent;
};

// Holds the paced mode near 60 frames a second where the swap does not wait for the
// display's retrace. Times in milliseconds.
class FrameCap {
public:
    static constexpr double framePeriod = 1000.0 / 60.0;

    // Called when a frame is finished: how long to wait before the next one starts.
    double waitAfterFrame(double now) {
        if (now >= nextDue_) {
            nextDue_ = now + framePeriod;
            return 0.0;
        }
        const double wait = nextDue_ - now;
        nextDue_ += framePeriod;
        return wait;
    }

private:
    double nextDue_ = 0.0;
};

}  // namespace kav
