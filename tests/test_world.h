#pragma once
// Small hand-made worlds for the unit tests: Agents placed where a test wants them in an
// arena of the test's choosing, stepped by both world steps as the Population steps its own.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "evo/population.h"
#include "sim/stepper.h"

namespace kav::testing {

struct HandWorld {
    std::array<Agent, kMaxPredators> predators{};
    std::array<Agent, kMaxPrey> prey{};
    std::array<std::array<float, kGenomeSize>, kMaxPredators + kMaxPrey> genomes{};
    ModelSettings settings;
    Arena& arena = settings.arena;
    Random random{1};
    int predatorCount = 0;
    int preyCount = 0;
    std::unique_ptr<Stepper> step = std::make_unique<Stepper>();
    ReferenceStep& reference = step->reference;
    WorldStep& program = step->program;

    HandWorld() {
        for (int i = 0; i < kMaxPredators; ++i) setUp(predators[i], i, true);
        for (int i = 0; i < kMaxPrey; ++i) setUp(prey[i], i, false);
    }
    HandWorld(const HandWorld&) = delete;
    HandWorld& operator=(const HandWorld&) = delete;

    void setUp(Agent& a, int slot, bool predator) {
        a = Agent{};
        a.isPredator = predator ? 1 : 0;
        a.slot = slot;
        a.rank = slot;
        a.radius = predator ? 0.02f : 0.05f;
        a.senseRange = predator ? 2.2f : 2.0f;
        a.energy = 1.0f;
        a.digestTimer = -1;
        a.reproMode = kSexualMode;
    }

    float* genomeOf(const Agent& a) {
        return genomes[(a.isPredator ? 0 : kMaxPredators) + a.slot].data();
    }

    Agent& place(Agent& a, float x, float y, float vx = 0.0f, float vy = 0.0f) {
        a.x = x;
        a.y = y;
        a.vx = vx;
        a.vy = vy;
        return a;
    }

    WorldView view() {
        return {predators.data(), predatorCount,  prey.data(),
                preyCount,        genomes.data(), genomes.data() + kMaxPredators,
                settings,         random};
    }

    // Puts the first `predatorCountArg` and `preyCountArg` slots in use and sorts the
    // reference step's indexes for them.
    void attach(int predatorCountArg, int preyCountArg) {
        predatorCount = predatorCountArg;
        preyCount = preyCountArg;
        reference.sortIndexes(view());
    }

    void move(Agent& a) { a.move(arena); }

    // The input vector of `a` by the reference step (requires its sort) and by the
    // program's step (requires program.sort).
    InputVector senseByReference(const Agent& a) {
        InputVector inputs;
        inputs.fill(-7.0f);
        reference.sense(view(), a, inputs);
        return inputs;
    }
    InputVector senseByProgram(const Agent& a) {
        InputVector inputs;
        inputs.fill(-7.0f);
        program.sense(view(), a, a.slot, FrameRotation(a.heading), inputs);
        return inputs;
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
    population->world.random.setState(seed);
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
    std::string problem =
        rankListProblem(population.world.predators.data(), population.world.predatorRanks.data(),
                        population.world.predatorCount, kMaxPredators);
    if (!problem.empty()) return "Predators: " + problem;
    problem = rankListProblem(population.world.prey.data(), population.world.preyRanks.data(),
                              population.world.preyCount, kMaxPrey);
    return problem.empty() ? "" : "Prey: " + problem;
}

}  // namespace kav::testing
