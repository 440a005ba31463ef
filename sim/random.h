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
        state_ = state_ * kMultiplier + kIncrement;
        return outputOf(state_);
    }

    // A uniform value in [0, 1): one output divided by 32768.
    double unit() { return next() / 32768.0; }

    // Two draws of unit() in a row. Both states come from the current one (the second by
    // the generator's two-step form), so a loop of pairs waits on one multiply-add per
    // pair instead of two.
    struct UnitPair {
        double first;
        double second;
    };
    UnitPair unitPair() {
        const std::uint32_t first = state_ * kMultiplier + kIncrement;
        state_ = state_ * kTwoStepMultiplier + kTwoStepIncrement;
        return {outputOf(first) / 32768.0, outputOf(state_) / 32768.0};
    }

    std::uint32_t state() const { return state_; }
    void setState(std::uint32_t state) { state_ = state; }

private:
    static constexpr std::uint32_t kMultiplier = 214013u;
    static constexpr std::uint32_t kIncrement = 2531011u;
    static constexpr std::uint32_t kTwoStepMultiplier = kMultiplier * kMultiplier;
    static constexpr std::uint32_t kTwoStepIncrement = kMultiplier * kIncrement + kIncrement;
    static int outputOf(std::uint32_t state) { return static_cast<int>((state >> 16) & 0x7FFFu); }

    std::uint32_t state_;
};

}  // namespace kav
