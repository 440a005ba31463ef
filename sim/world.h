#pragma once
// What a world step works on and what it leaves behind for its readers.
#include <array>

#include "sim/agent.h"
#include "sim/arena.h"
#include "sim/controller.h"
#include "sim/model_settings.h"
#include "sim/random.h"
#include "sim/sensing.h"

namespace kav {

// The Agents of one world step: the slots in use of both populations with their Genomes by
// slot, the model's numbers (the arena among them) and the world's random source (drawn
// from for capture contacts at equal times).
struct WorldView {
    Agent* predators;
    int predatorCount;
    Agent* prey;
    int preyCount;
    const Genome* predatorGenomes;
    const Genome* preyGenomes;
    const ModelSettings& settings;
    Random& random;

    const Arena& arena() const { return settings.arena; }
    const float* genomeOf(const Agent& agent) const {
        return (agent.isPredator ? predatorGenomes : preyGenomes)[agent.slot].data();
    }
};

// What each Agent last sensed and how its controller answered, by slot. An Agent that did
// not steer in a step (a digesting Predator) keeps what it had.
struct AgentReadings {
    std::array<InputVector, kMaxPredators> predatorInputs{};
    std::array<InputVector, kMaxPrey> preyInputs{};
    std::array<ControlOutput, kMaxPredators> predatorOutputs{};
    std::array<ControlOutput, kMaxPrey> preyOutputs{};
    // The input vector of the last Agent that sensed in the last step (the last Prey in
    // use): the statistics probe evaluates Genomes on its Predator and wall terms.
    bool lastSensedIsPredator = false;
    int lastSensedSlot = 0;

    InputVector& inputsOf(bool predator, int slot) {
        return predator ? predatorInputs[slot] : preyInputs[slot];
    }
    const InputVector& lastSensedInputs() const {
        return lastSensedIsPredator ? predatorInputs[lastSensedSlot] : preyInputs[lastSensedSlot];
    }
};

// The move phase of either step: every Predator, then every Prey, in slot order.
inline void moveAgents(const WorldView& world) {
    for (int i = 0; i < world.predatorCount; ++i) world.predators[i].move(world.arena());
    for (int i = 0; i < world.preyCount; ++i) world.prey[i].move(world.arena());
}

// Marks the phases of a world step as they end; benchmarks use it to time them. `searched`
// ends the search of every Agent's neighbours where a step searches before sensing (right
// after `sorted` where the search is part of sensing).
enum class StepPhase { begun, sorted, searched, steered, moved, captured };
struct StepObserver {
    virtual void phaseDone(StepPhase phase) = 0;

protected:
    ~StepObserver() = default;
};

}  // namespace kav
