#pragma once
#include <array>
#include <cstdint>

#include "sim/agent.h"
#include "sim/random.h"

namespace kav {

constexpr int kInputCount = 40;
constexpr int kHiddenCount = 10;
constexpr int kMaxCaptures = kMaxPredators * kMaxPrey;  // one per Predator/Prey pair
constexpr float kPredatorPeerWindow = 5.0f;  // a Predator's half-width on other Predators

// A contact found by the capture phase.
struct CaptureEvent {
    std::int32_t predatorSlot = 0;
    std::int32_t preySlot = 0;
    float time = 0;
};

// -1 for x < 0, +1 otherwise (so sign(0) = +1).
inline float sign(float x) { return x < 0.0f ? -1.0f : 1.0f; }

// Rotates a world vector into the frame of an Agent with the given heading.
struct FrameRotation {
    float cosNeg;  // cos(-heading), single precision
    float sinNeg;  // sin(-heading), single precision
    explicit FrameRotation(float heading);
    float forward(float px, float py) const;
    float left(float px, float py) const;
};

// The per-step scratch of the simulation: the sorted position indexes, the neighbour
// query lists, the input vector, the controller scratch and the capture list. Every
// array has a fixed capacity; nothing here allocates.
struct SenseWorkspace {
    std::array<float, kInputCount> inputs{};
    Agent* predators = nullptr;
    Agent* prey = nullptr;
    std::int32_t predatorCount = 0;
    std::int32_t preyCount = 0;
    std::array<std::int32_t, kMaxPredators> predatorsByX{};
    std::array<std::int32_t, kMaxPredators> predatorsByY{};
    std::array<std::int32_t, kMaxPrey> preyByX{};
    std::array<std::int32_t, kMaxPrey> preyByY{};
    float t1 = 0;
    float t2 = 0;
    std::uint8_t contactFound = 0;
    float maxPreyVx = 0;
    float maxPreyVy = 0;
    std::array<CaptureEvent, kMaxCaptures> captures{};
    std::int32_t captureCount = 0;
    std::array<std::int32_t, kMaxPrey> candX{};
    std::array<std::int32_t, kMaxPrey> candY{};
    std::array<std::int32_t, kMaxPrey> near{};
    std::array<float, kInputCount> weighted{};
    std::array<float, kHiddenCount> hidden{};
    Random* random = nullptr;  // the world's generator, for ties in the capture list

    // Clears every array (they are fixed members, allocated with the workspace).
    void allocate();
    void attach(Agent* predatorArray, int predatorCountArg, Agent* preyArray, int preyCountArg,
                Random* randomSource);

    // One world step: sort, sense and control every Agent that steers, move, capture.
    void worldStep();

    void sortIndexes();
    void sense(const Agent& agent);
    void control(Agent& agent);

    void detectCaptures();
    void testPair(int predatorSlot, int preySlot);
    void solveContact(float x1, float y1, float vx1, float vy1, float x2, float y2, float vx2,
                      float vy2, float sumOfRadii);
    void sortCaptureList();
    void applyCapture(int predatorSlot, int preySlot, float time);

private:
    struct QueryPopulation {
        const Agent* agents;
        int count;
        const std::int32_t* byX;
        const std::int32_t* byY;
    };
    void queryNeighbours(const Agent& self, const QueryPopulation& population, float halfWidth,
                         int block, bool scaled);
    void senseWalls(const Agent& self);
    void writeNeighbourTerms(const Agent& self, const Agent& other, const FrameRotation& frame,
                             int slot, bool scaled);
};

}  // namespace kav
