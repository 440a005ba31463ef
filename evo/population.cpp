#include "evo/population.h"

#include <algorithm>
#include <utility>

namespace kav {

Population::Population() = default;

void Population::setup(const Arena& arenaArg, float preyRadius, float predatorRadius,
                       int initialPredatorCount, int initialPreyCount,
                       const SavedEvolution* saved) {
    settings.arena = arenaArg;
    settings.preyRadius = preyRadius;
    settings.predatorRadius = predatorRadius;
    arena = arenaArg;
    for (int i = 0; i < kMaxPredators; ++i)
        predators[i].init(settings, kSexualMode, i, true, random);
    for (int i = 0; i < kMaxPrey; ++i) prey[i].init(settings, kSexualMode, i, false, random);

    preyCount = initialPreyCount;
    predatorCount = initialPredatorCount;
    if (saved) restore(*saved);
    else randomizeGenomes();
    events_ = {};
    report_ = {};

    for (int k = 0; k < kMaxPredators; ++k) predatorRanks[k] = k;
    for (int k = 0; k < kMaxPrey; ++k) preyRanks[k] = k;

    for (auto& pair : probeOut) pair = {0.0f, 0.0f};
    probeSpreadE = 1.0f;
    probeSpreadM = 1.0f;
    mutationAmplitude = settings.mutationAmplitude;
}

void Population::randomizeGenomes() {
    for (auto& genome : predatorGenomes)
        for (float& weight : genome) weight = static_cast<float>(random.next() / 32768.0 - 0.5);
    for (auto& genome : preyGenomes)
        for (float& weight : genome) weight = static_cast<float>(random.next() / 32768.0 - 0.5);
    tick = 0;
}

void Population::restore(const SavedEvolution& saved) {
    predatorGenomes = saved.predatorGenomes;
    preyGenomes = saved.preyGenomes;
    tick = saved.tick;
    predatorCount = std::clamp(saved.predatorCount, 1, kMaxPredators);
    preyCount = std::clamp(saved.preyCount, 1, kMaxPrey);
}

SavedEvolution Population::savedEvolution() const {
    SavedEvolution saved;
    saved.predatorGenomes = predatorGenomes;
    saved.preyGenomes = preyGenomes;
    saved.tick = tick;
    saved.predatorCount = predatorCount;
    saved.preyCount = preyCount;
    return saved;
}

void Population::requestSizeChange(bool add, bool predator) {
    // The keyboard checks the limits; a caller that does not must not write past them.
    if (add && (predator ? predatorCount >= kMaxPredators : preyCount >= kMaxPrey)) return;
    if (predator) {
        predatorSizeRequest = add ? +1 : -1;
        if (add) predators[predatorCount].dead = 1;
    } else {
        preySizeRequest = add ? +1 : -1;
        if (add) prey[preyCount].dead = 1;
    }
}

void Population::applySizeRequest(std::int32_t& request, std::int32_t& count, Agent* agents,
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

double successRatio(const Agent& predator) {
    return double(predator.catches) / double(predator.age + std::int64_t{50});
}

void Population::climbPredatorRank(Agent& climber) {
    int p = climber.rank;
    while (p > 0) {
        Agent& above = predators[predatorRanks[p - 1]];
        if (!(successRatio(climber) > successRatio(above))) break;
        above.rank += 1;
        std::swap(predatorRanks[p - 1], predatorRanks[p]);
        p -= 1;
    }
    climber.rank = p;
}

bool Population::runTick() {
    // An added slot is marked dead by the request so that it gets an offspring; its
    // replacement is a birth, not the replacement of a death.
    const int addedPredator = predatorSizeRequest == +1 ? predatorCount : -1;
    const int addedPrey = preySizeRequest == +1 ? preyCount : -1;
    applySizeRequest(predatorSizeRequest, predatorCount, predators.data(), predatorRanks.data());
    applySizeRequest(preySizeRequest, preyCount, prey.data(), preyRanks.data());
    preySizeRequest = 0;
    predatorSizeRequest = 0;

    for (int i = 0; i < preyCount; ++i) {
        Agent& q = prey[i];
        if (q.dead || q.captured) {
            if (!q.captured && i != addedPrey) events_.preyDeaths += 1;
            events_.preyBirths += 1;
            reproduce(q);
        } else {
            q.beginTick(settings.energyPerTick);
        }
    }
    for (int i = 0; i < predatorCount; ++i) {
        Agent& p = predators[i];
        if (p.dead || p.ticksSinceCatch > settings.predatorStarvationTicks) {
            if (i != addedPredator) (p.dead ? events_.predatorDeaths : events_.starvations) += 1;
            events_.predatorBirths += 1;
            reproduce(p);
        } else {
            if (p.captured) climbPredatorRank(p);
            p.beginTick(settings.energyPerTick);
        }
    }

    step.run(view());
    // A Predator that caught a Prey in this step is marked until its next begin-tick.
    for (int i = 0; i < predatorCount; ++i) events_.captures += predators[i].captured;

    tick += 1;
    if (tick % kStatisticsPeriod != 0) return false;
    makeReport();
    return true;
}

}  // namespace kav
