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

    // Start of a frame: begins the first interval if none has begun, then reads the
    // clock again and sets `interpolation`, which exceeds 1 when a tick is late.
    template <class Clock>
    void beginFrame(Clock&& clock) {
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
        if (elapsed <= tickPeriod) return false;
        const std::uint32_t overshoot = elapsed - tickPeriod;
        tickStart = clock() - overshoot;
        return true;
    }

    // A key returned the program to the normal mode: a fresh interval begins now.
    void restart(std::uint32_t now) { tickStart = now; }
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
