#include "evo/evolution.h"

#include <algorithm>
#include <utility>

namespace kav {

namespace {

void randomizeGenomes(World& world) {
    for (auto& genome : world.predatorGenomes)
        for (float& weight : genome)
            weight = static_cast<float>(world.random.next() / 32768.0 - 0.5);
    for (auto& genome : world.preyGenomes)
        for (float& weight : genome)
            weight = static_cast<float>(world.random.next() / 32768.0 - 0.5);
    world.tick = 0;
}

void restore(World& world, const SavedEvolution& saved) {
    world.predatorGenomes = saved.predatorGenomes;
    world.preyGenomes = saved.preyGenomes;
    world.tick = saved.tick;
    world.predatorCount = std::clamp(saved.predatorCount, 1, kMaxPredators);
    world.preyCount = std::clamp(saved.preyCount, 1, kMaxPrey);
}

void applySizeRequest(std::int32_t& request, std::int32_t& count, Agent* agents,
                      std::int32_t* ranks) {
    if (request == +1) {
        count += 1;
        agents[count - 1].rank = count - 1;
    } else if (request == -1 && count > 1) {
        // The highest slot in use leaves, whatever its rank; those below it move up.
        Agent& leaving = agents[count - 1];
        for (int p = leaving.rank; p < count - 1; ++p) {
            agents[ranks[p + 1]].rank -= 1;
            std::swap(ranks[p], ranks[p + 1]);
        }
        count -= 1;
    }
}

void climbPredatorRank(World& world, Agent& climber) {
    int p = climber.rank;
    while (p > 0) {
        Agent& above = world.predators[world.predatorRanks[p - 1]];
        if (!(successRatio(climber) > successRatio(above))) break;
        above.rank += 1;
        std::swap(world.predatorRanks[p - 1], world.predatorRanks[p]);
        p -= 1;
    }
    climber.rank = p;
}

}  // namespace

void setUpWorld(World& world, const ModelSettings& settings, int initialPredatorCount,
                int initialPreyCount, const SavedEvolution* saved) {
    world.settings = settings;
    for (int i = 0; i < kMaxPredators; ++i)
        world.predators[i].init(settings, kSexualMode, i, true, world.random);
    for (int i = 0; i < kMaxPrey; ++i)
        world.prey[i].init(settings, kSexualMode, i, false, world.random);

    world.preyCount = initialPreyCount;
    world.predatorCount = initialPredatorCount;
    if (saved) restore(world, *saved);
    else randomizeGenomes(world);
    world.events = {};
    world.predatorSizeRequest = 0;
    world.preySizeRequest = 0;
    for (int k = 0; k < kMaxPredators; ++k) world.predatorRanks[k] = k;
    for (int k = 0; k < kMaxPrey; ++k) world.preyRanks[k] = k;
    world.probeSpreadE = 1.0f;
    world.probeSpreadM = 1.0f;
}

SavedEvolution savedEvolution(const World& world) {
    SavedEvolution saved;
    saved.predatorGenomes = world.predatorGenomes;
    saved.preyGenomes = world.preyGenomes;
    saved.tick = world.tick;
    saved.predatorCount = world.predatorCount;
    saved.preyCount = world.preyCount;
    return saved;
}

void requestSizeChange(World& world, bool add, bool predator) {
    // The keyboard checks the limits; a caller that does not must not write past them.
    if (add && (predator ? world.predatorCount >= kMaxPredators : world.preyCount >= kMaxPrey))
        return;
    if (predator) {
        world.predatorSizeRequest = add ? +1 : -1;
        if (add) world.predators[world.predatorCount].dead = 1;
    } else {
        world.preySizeRequest = add ? +1 : -1;
        if (add) world.prey[world.preyCount].dead = 1;
    }
}

double successRatio(const Agent& predator) {
    return double(predator.catches) / double(predator.age + std::int64_t{50});
}

bool runTick(World& world, Stepper& step, TickReport& report) {
    const ModelSettings& settings = world.settings;
    EventCounts& events = world.events;
    // An added slot is marked dead by the request so that it gets an offspring; its
    // replacement is a birth, not the replacement of a death.
    const int addedPredator = world.predatorSizeRequest == +1 ? world.predatorCount : -1;
    const int addedPrey = world.preySizeRequest == +1 ? world.preyCount : -1;
    applySizeRequest(world.predatorSizeRequest, world.predatorCount, world.predators.data(),
                     world.predatorRanks.data());
    applySizeRequest(world.preySizeRequest, world.preyCount, world.prey.data(),
                     world.preyRanks.data());
    world.preySizeRequest = 0;
    world.predatorSizeRequest = 0;

    for (int i = 0; i < world.preyCount; ++i) {
        Agent& q = world.prey[i];
        if (q.dead || q.captured) {
            if (!q.captured && i != addedPrey) events.preyDeaths += 1;
            events.preyBirths += 1;
            reproduce(world, q);
        } else {
            q.beginTick(settings.energyPerTick);
        }
    }
    for (int i = 0; i < world.predatorCount; ++i) {
        Agent& p = world.predators[i];
        if (p.dead || p.ticksSinceCatch > settings.predatorStarvationTicks) {
            if (i != addedPredator) (p.dead ? events.predatorDeaths : events.starvations) += 1;
            events.predatorBirths += 1;
            reproduce(world, p);
        } else {
            if (p.captured) climbPredatorRank(world, p);
            p.beginTick(settings.energyPerTick);
        }
    }

    step.run(world.view());
    // A Predator that caught a Prey in this step is marked until its next begin-tick.
    for (int i = 0; i < world.predatorCount; ++i) events.captures += world.predators[i].captured;

    world.tick += 1;
    if (world.tick % kStatisticsPeriod != 0) return false;
    report = makeReport(world, step);
    return true;
}

}  // namespace kav
