#include "evo/population.h"

#include <utility>

namespace kav {

namespace {
constexpr float kPredatorSenseRange = 2.2f;
constexpr float kPreySenseRange = 2.0f;
constexpr float kMutationAmplitude = 0.05f;
}  // namespace

Population::Population() = default;

void Population::setup(float xMinArg, float xMaxArg, float yMinArg, float yMaxArg,
                       float preyRadius, float predatorRadius, int initialPredatorCount,
                       int initialPreyCount) {
    const Arena world{xMinArg, xMaxArg, yMinArg, yMaxArg};
    for (int i = 0; i < kMaxPredators; ++i)
        predators[i].init(world, predatorRadius, kPredatorSenseRange, kSexualMode, i, true, random,
                          predatorGenomes[i].data());
    for (int i = 0; i < kMaxPrey; ++i)
        prey[i].init(world, preyRadius, kPreySenseRange, kSexualMode, i, false, random,
                     preyGenomes[i].data());

    preyCount = initialPreyCount;
    predatorCount = initialPredatorCount;
    loadGenomes();
    arena = world;

    for (int k = 0; k < kMaxPredators; ++k) predatorRanks[k] = k;
    for (int k = 0; k < kMaxPrey; ++k) preyRanks[k] = k;

    for (auto& pair : probeOut) pair = {0.0f, 0.0f};
    probeSpreadE = 1.0f;
    probeSpreadM = 1.0f;
    mutationAmplitude = kMutationAmplitude;
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

void Population::runTick() {
    applySizeRequest(predatorSizeRequest, predatorCount, predators.data(), predatorRanks.data());
    applySizeRequest(preySizeRequest, preyCount, prey.data(), preyRanks.data());
    preySizeRequest = 0;
    predatorSizeRequest = 0;

    for (int i = 0; i < preyCount; ++i) {
        Agent& q = prey[i];
        if (q.dead || q.captured)
            reproduce(q);
        else
            q.beginTick();
    }
    for (int i = 0; i < predatorCount; ++i) {
        Agent& p = predators[i];
        if (p.dead || p.ticksSinceCatch > kStarvationTicks) {
            reproduce(p);
        } else {
            if (p.captured) climbPredatorRank(p);
            p.beginTick();
        }
    }

    step.run({predators.data(), predatorCount, prey.data(), preyCount, arena, random});

    tick += 1;
    if (tick % kStatisticsPeriod == 0) writeStatistics();
}

}  // namespace kav
