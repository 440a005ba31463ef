#pragma once
// Small hand-made worlds for the unit tests: Agents placed where a test wants them,
// attached to a workspace exactly as the Population attaches its own.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "evo/population.h"
#include "sim/workspace.h"

namespace kav::testing {

struct HandWorld {
    std::array<Agent, kMaxPredators> predators{};
    std::array<Agent, kMaxPrey> prey{};
    std::array<std::array<float, kGenomeSize>, kMaxPredators + kMaxPrey> genomes{};
    Random random{1};
    std::unique_ptr<SenseWorkspace> workspace = std::make_unique<SenseWorkspace>();

    HandWorld() {
        for (int i = 0; i < kMaxPredators; ++i) setUp(predators[i], i, true);
        for (int i = 0; i < kMaxPrey; ++i) setUp(prey[i], i, false);
        workspace->allocate();
    }

    void setUp(Agent& a, int slot, bool predator) {
        a = Agent{};
        a.isPredator = predator ? 1 : 0;
        a.slot = slot;
        a.rank = slot;
        a.radius = predator ? 0.02f : 0.05f;
        a.senseRange = predator ? 2.2f : 2.0f;
        a.xMin = -5.0f;
        a.xMax = 5.0f;
        a.yMin = -4.0f;
        a.yMax = 4.0f;
        a.energy = 1.0f;
        a.digestTimer = -1;
        a.reproMode = kSexualMode;
        a.genome = genomes[(predator ? 0 : kMaxPredators) + slot].data();
    }

    Agent& place(Agent& a, float x, float y, float vx = 0.0f, float vy = 0.0f) {
        a.x = x;
        a.y = y;
        a.vx = vx;
        a.vy = vy;
        return a;
    }

    void attach(int predatorCount, int preyCount) {
        workspace->attach(predators.data(), predatorCount, prey.data(), preyCount, &random);
        workspace->sortIndexes();
    }
};

inline std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

// A Population set up as the program sets up its world, from a saved evolution or, by
// default, with random Genomes.
inline std::unique_ptr<Population> standardWorld(std::uint32_t seed = 1,
                                                 const SavedEvolution* saved = nullptr) {
    auto population = std::make_unique<Population>();
    population->random.setState(seed);
    population->setupStandard(saved);
    return population;
}

// Rank-list invariants; returns an empty text when they hold.
inline std::string rankListProblem(const Agent* agents, const std::int32_t* ranks, int count,
                                   int capacity) {
    std::array<bool, kMaxPrey> seen{};
    for (int p = 0; p < capacity; ++p) {
        const int slot = ranks[p];
        if (slot < 0 || slot >= capacity || seen[slot])
            return "position " + std::to_string(p) + " holds slot " + std::to_string(slot);
        seen[slot] = true;
        if (p < count && agents[slot].rank != p)
            return "slot " + std::to_string(slot) + " at position " + std::to_string(p) +
                   " has rank " + std::to_string(agents[slot].rank);
        if (p >= count && slot != p)
            return "unused position " + std::to_string(p) + " holds slot " + std::to_string(slot);
        if (p < count && slot >= count)
            return "position " + std::to_string(p) + " holds unused slot " + std::to_string(slot);
    }
    return "";
}

inline std::string rankProblems(const Population& population) {
    std::string problem = rankListProblem(population.predators.data(),
                                          population.predatorRanks.data(),
                                          population.predatorCount, kMaxPredators);
    if (!problem.empty()) return "Predators: " + problem;
    problem = rankListProblem(population.prey.data(), population.preyRanks.data(),
                              population.preyCount, kMaxPrey);
    return problem.empty() ? "" : "Prey: " + problem;
}

}  // namespace kav::testing
