#pragma once
// The reference world step: the straightforward reading of the rules, kept as the model
// that the program's step (WorldStep) must match bit for bit. Insertion sorts from slot
// order, linear scans for the windows, the pairwise intersection of the two axes' lists,
// a full stable sort of the candidates by distance.
#include <array>
#include <cstdint>

#include "sim/capture.h"
#include "sim/world.h"

namespace kav {

// Each population's slots in ascending order of x and of y (equal coordinates in
// ascending slot order), and the largest Prey speed along each axis at the sort.
struct PositionIndexes {
    std::array<std::int32_t, kMaxPredators> predatorsByX{};
    std::array<std::int32_t, kMaxPredators> predatorsByY{};
    std::array<std::int32_t, kMaxPrey> preyByX{};
    std::array<std::int32_t, kMaxPrey> preyByY{};
    float maxPreyVx = 0;
    float maxPreyVy = 0;
};

class ReferenceStep {
public:
    // Sort; sense and control each hunting Predator, then each Prey; move every Agent;
    // capture.
    void run(const WorldView& world, AgentReadings& readings, CaptureList& captures,
             StepObserver* observer = nullptr);

    // The phases, for tests and for the program's step where it falls back on them.
    void sortIndexes(const WorldView& world);
    // Fills `inputs` for `self`; requires sortIndexes.
    void sense(const WorldView& world, const Agent& self, InputVector& inputs);
    // The capture phase over the indexes of the last sortIndexes.
    void detectCaptures(const WorldView& world, CaptureList& captures);

    PositionIndexes indexes;

private:
    struct QueryPopulation {
        const Agent* agents;
        int count;
        const std::int32_t* byX;
        const std::int32_t* byY;
    };
    void senseNearest(const Agent& self, const QueryPopulation& population, float halfWidth,
                      int block, bool scaled, InputVector& inputs);

    // Scratch of one query: the window's slots along x, along y, and in both.
    std::array<std::int32_t, kMaxPrey> inXWindow_{};
    std::array<std::int32_t, kMaxPrey> inYWindow_{};
    std::array<std::int32_t, kMaxPrey> inBoth_{};
};

}  // namespace kav
