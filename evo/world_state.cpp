#include "evo/world_state.h"

#include "evo/population.h"

namespace kav {

WorldState Population::worldState() const {
    WorldState state;
    state.randomState = random.state();
    state.predators = predators;
    state.prey = prey;
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
    predators = state.predators;
    prey = state.prey;
    predatorRanks = state.predatorRanks;
    preyRanks = state.preyRanks;
    predatorSizeRequest = state.predatorSizeRequest;
    preySizeRequest = state.preySizeRequest;
    probeSpreadE = state.probeSpreadE;
    probeSpreadM = state.probeSpreadM;
    events_ = state.events;
}

}  // namespace kav
