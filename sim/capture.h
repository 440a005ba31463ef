#pragma once
// Capture detection shared by both world steps: the contact test of a Predator and a Prey
// over their moves (with the Prey's images across the walls either party hit), the
// capture list with its random order for equal times, and the capture itself.
#include <array>
#include <cstdint>

#include "sim/agent.h"
#include "sim/arena.h"
#include "sim/random.h"

namespace kav {

constexpr int kMaxCaptures = kMaxPredators * kMaxPrey;  // one per Predator/Prey pair

// A contact found by the capture phase.
struct CaptureEvent {
    std::int32_t predatorSlot = 0;
    std::int32_t preySlot = 0;
    float time = 0;
};

// The result of a contact test: the two times at which the discs touch, the first of
// which is the contact time. `found` is false when the paths do not touch in the tick.
struct Contact {
    bool found = false;
    float t1 = 0;
    float t2 = 0;
};

// Two discs moving in straight lines over the tick: the times at which their distance
// equals `sumOfRadii`. Found when the first touch lies in [0, 1] or they overlap at the
// start and part within the tick.
Contact solveContact(float x1, float y1, float vx1, float vy1, float x2, float y2, float vx2,
                     float vy2, float sumOfRadii);

// The earliest contact of a Predator and a Prey over this tick's moves, counting the
// Prey's image across every wall that the Predator, then the Prey, hit.
Contact contactOfPair(const Agent& predator, const Agent& prey, const Arena& arena);

// One axis of a Predator's swept window in the capture phase: the Prey whose start
// coordinate lies in [lower, upper) can touch it within the tick.
inline float sweptLowerBound(float own, float predatorRadius, float preyRadius, float margin,
                             float velocity) {
    const double negative = velocity < 0.0f ? velocity : 0.0f;
    return static_cast<float>(double(own) - predatorRadius - preyRadius - margin + negative);
}

inline float sweptUpperBound(float own, float predatorRadius, float preyRadius, float margin,
                             float velocity) {
    const double positive = velocity < 0.0f ? 0.0f : velocity;
    return static_cast<float>(double(own) + predatorRadius + preyRadius + margin + positive);
}

// Marks a capture: the Predator stops at the contact point and starts digesting, the Prey
// is caught.
void applyCapture(Agent& predator, Agent& prey, float time);

// The contacts of a capture phase, ordered by time.
struct CaptureList {
    std::array<CaptureEvent, kMaxCaptures> events{};
    std::int32_t count = 0;

    void clear() { count = 0; }
    void add(const CaptureEvent& event);
    // Insertion sort by time from position `firstUnsorted`: the events before it must be in
    // strictly ascending time (the sort would leave them). Each pair of equal times the
    // sort meets is put in either order with equal chance, one draw each.
    void sort(Random& random, int firstUnsorted = 1);
    // The leading events in strictly ascending time: where the next sort can start.
    int ascendingPrefix() const;
    // Applies, in list order, every event whose Predator and Prey are both still free.
    void apply(Agent* predators, Agent* prey) const;
};

}  // namespace kav
