#include "evo/world_state.h"

#include "evo/evolution.h"

namespace kav {

WorldState worldState(const World& world) {
    WorldState state;
    state.randomState = world.random.state();
    state.predators = world.predators;
    state.prey = world.prey;
    state.predatorRanks = world.predatorRanks;
    state.preyRanks = world.preyRanks;
    state.predatorSizeRequest = world.predatorSizeRequest;
    state.preySizeRequest = world.preySizeRequest;
    state.probeSpreadE = world.probeSpreadE;
    state.probeSpreadM = world.probeSpreadM;
    state.events = world.events;
    return state;
}

void restoreWorldState(World& world, const WorldState& state) {
    world.random.setState(state.randomState);
    world.predators = state.predators;
    world.prey = state.prey;
    // An Agent's radius and sense range are its kind's, whatever the state was taken with.
    changeSettings(world, world.settings);
    world.predatorRanks = state.predatorRanks;
    world.preyRanks = state.preyRanks;
    world.predatorSizeRequest = state.predatorSizeRequest;
    world.preySizeRequest = state.preySizeRequest;
    world.probeSpreadE = state.probeSpreadE;
    world.probeSpreadM = state.probeSpreadM;
    world.events = state.events;
}

void changeSettings(World& world, const ModelSettings& settings) {
    world.settings = settings;
    for (Agent& a : world.predators) {
        a.radius = settings.predatorRadius;
        a.senseRange = settings.predatorSenseRange;
    }
    for (Agent& a : world.prey) {
        a.radius = settings.preyRadius;
        a.senseRange = settings.preySenseRange;
    }
}

}  // namespace kav
