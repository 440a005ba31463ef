#pragma once
#include <cstdint>

namespace kav {

// The world's one source of randomness: a 32-bit linear congruential generator.
// Every draw is part of the run's fixed order, so a world that starts from the same
// state and the same Genome file runs the same way on any machine.
class Random {
public:
    static constexpr int kRange = 32768;  // outputs lie in 0..32767

    explicit Random(std::uint32_t state = 1) : state_(state) {}

    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

    // A uniform value in [0, 1): one output divided by 32768.
    double unit() { return next() / 32768.0; }

    std::uint32_t state() const { return state_; }
    void setState(std::uint32_t state) { state_ = state; }

private:
    std::uint32_t state_;
};

}  // namespace kav
