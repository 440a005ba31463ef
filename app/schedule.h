#pragma once

namespace kav {

// Something the loop does every so often (the title, the panel in the fast modes,
// the autosave): due once each period, counted from the first reading. A period of
// 0 or less is never due. Times in milliseconds.
class Every {
public:
    explicit Every(double periodMs) : period_(periodMs) {}

    bool due(double now) {
        if (period_ <= 0) return false;
        if (!started_) {
            started_ = true;
            next_ = now + period_;
            return false;
        }
        if (now < next_) return false;
        // After a long stall the next one is a whole period away, not due at once.
        next_ = now >= next_ + period_ ? now + period_ : next_ + period_;
        return true;
    }

    // Due at the next reading (a change that the title or the panel should show now).
    void hurry() {
        started_ = true;
        next_ = 0;
    }

private:
    double period_;
    double next_ = 0;
    bool started_ = false;
};

}  // namespace kav
