#include "evo/world_state.h"

#include "evo/population.h"

namespace kav {

namespace {

// Everything of the Agent but its Genome storage, which stays the slot's own.
void restoreAgent(Agent& agent, const Agent& stored) {
    float* const genome = agent.genome;
    agent = stored;
    agent.genome = genome;
}

}  // namespace

WorldState Population::worldState() const {
    WorldState state;
    state.randomState = random.state();
    state.predators = predators;
    state.prey = prey;
    for (Agent& a : state.predators) a.genome = nullptr;
    for (Agent& a : state.prey) a.genome = nullptr;
    state.predatorRanks = predatorRanks;
    state.preyRanks = preyRanks;
    state.predatorSizeRequest = predatorSizeRequest;
    state.preySizeRequest = preySizeRequest;
    state.probeSpreadE = probeSpreadE;
    state.probeSpreadM = probeSpreadM;
    state.events = events_;
    return state;
}

void Population::restoreWorldState(const WorldState& state) {
    random.setState(state.randomState);
    for (int i = 0; i < kMaxPredators; ++i) restoreAgent(predators[i], state.predators[i]);
    for (int i = 0; i < kMaxPrey; ++i) restoreAgent(prey[i], state.prey[i]);
    predatorRanks = state.predatorRanks;
    preyRanks = state.preyRanks;
    predatorSizeRequest = state.predatorSizeRequest;
    preySizeRequest = state.preySizeRequest;
    probeSpreadE = state.probeSpreadE;
    probeSpreadM = state.probeSpreadM;
    events_ = state.events;
}

}  // namespace kav
