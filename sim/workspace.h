#pragma once
#include <array>
#include <cstdint>

#include "sim/agent.h"
#include "sim/cell_grid.h"
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

// One axis of a Predator's swept window in the capture phase: the Prey whose start
// coordinate lies in [lower, upper) can touch it within the tick.
float sweptLowerBound(float own, float predatorRadius, float preyRadius, float margin,
                      float velocity);
float sweptUpperBound(float own, float predatorRadius, float preyRadius, float margin,
                      float velocity);

// Rotates a world vector into the frame of an Agent with the given heading.
struct FrameRotation {
    float cosNeg;  // cos(-heading), single precision
    float sinNeg;  // sin(-heading), single precision
    explicit FrameRotation(float heading);
    float forward(float px, float py) const;
    float left(float px, float py) const;
};

// Marks the phases of a world step as they end; benchmarks use it to time them.
enum class StepPhase { begun, sorted, steered, moved, captured };
struct StepObserver {
    virtual void phaseDone(StepPhase phase) = 0;

protected:
    ~StepObserver() = default;
};

// A population's slots in ascending order of one coordinate (ties in ascending slot), kept
// from step to step so that re-sorting meets nearly sorted input; beside each entry its
// two coordinates, read by the searches without touching the Agents.
struct KeptIndex {
    std::array<std::int32_t, kMaxPrey> slot{};
    std::array<float, kMaxPrey> key{};    // the sorting coordinate of slot[pos]
    std::array<float, kMaxPrey> cross{};  // the other coordinate of slot[pos]
    std::int32_t count = 0;               // slots 0..count-1 are in the index
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
    Random* random = nullptr;  // the world's generator, for ties in the capture list

    // The step runs on indexes kept sorted between steps and finds exactly the same
    // neighbours, contacts and random draws as the reference step; set this to run the
    // reference step instead (tests and benchmarks compare the two).
    bool literalWorldStep = false;
    StepObserver* observer = nullptr;  // null in the program
    KeptIndex keptPredatorsByX;
    KeptIndex keptPredatorsByY;
    KeptIndex keptPreyByX;
    KeptIndex keptPreyByY;
    bool preyRadiiEqual = false;  // every Prey in use had the same finite radius at the sort
    // Each population's positions at the sort, bucketed by cell for the neighbour search.
    CellGrid preyGrid;
    CellGrid predatorGrid;
    // The distance of each Agent's farthest of five nearest at its last search, per
    // population searched: where the next search starts. It steers only the search, never
    // its result.
    std::array<float, kMaxPredators> predatorReachOnPrey{};
    std::array<float, kMaxPredators> predatorReachOnPredators{};
    std::array<float, kMaxPrey> preyReachOnPrey{};
    std::array<float, kMaxPrey> preyReachOnPredators{};

    // Clears every array (they are fixed members, allocated with the workspace).
    void allocate();
    void attach(Agent* predatorArray, int predatorCountArg, Agent* preyArray, int preyCountArg,
                Random* randomSource);

    // One world step: sort, sense and control every Agent that steers, move, capture.
    void worldStep();
    // The reference step: the insertion sorts from slot order, the linear window scans,
    // the pairwise intersection and the full distance sort.
    void worldStepLiteral();
    // The same step through the kept indexes: binary-searched windows, the second axis
    // tested directly, the nearest few selected instead of sorted.
    void worldStepFast();

    // Re-sorts the kept indexes and fills the four indexes and the Prey velocity margins
    // as sortIndexes does. Returns false, doing nothing, when a position in use is not a
    // moderate finite number; only the reference step handles those.
    bool sortKeptIndexes();
    // sense, over the kept indexes; requires sortKeptIndexes.
    void senseFast(const Agent& agent);
    void senseFast(const Agent& agent, const FrameRotation& frame);
    // control, given the frame that sensing used: its cosine and sine serve the
    // steering as well.
    void controlFast(Agent& agent, const FrameRotation& frame);
    // detectCaptures, over the kept indexes; requires sortKeptIndexes.
    void detectCapturesFast();

    void sortIndexes();
    void sense(const Agent& agent);
    void control(Agent& agent);

    void detectCaptures();
    void testPair(int predatorSlot, int preySlot);
    void solveContact(float x1, float y1, float vx1, float vy1, float x2, float y2, float vx2,
                      float vy2, float sumOfRadii);
    // Insertion sort of the capture list, starting at position `firstUnsorted`: the
    // entries before it must be in strictly ascending time (the sort would leave them).
    void sortCaptureList(int firstUnsorted = 1);
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
    void senseWalls(const Agent& self, const FrameRotation& frame);
    void senseNearestFast(const Agent& self, const Agent* agents, const CellGrid& grid,
                          float halfWidth, int block, bool scaled, const FrameRotation& frame,
                          float* reach);
    void writeNeighbourTerms(const Agent& self, const Agent& other, const FrameRotation& frame,
                             int slot, bool scaled);
};

}  // namespace kav
