#include "evo/evaluation.h"

#include <memory>

namespace kav {

EvaluationScore& EvaluationScore::operator+=(const EvaluationScore& other) {
    ticks += other.ticks;
    captures += other.captures;
    starvations += other.starvations;
    predatorDeaths += other.predatorDeaths;
    preyDeaths += other.preyDeaths;
    preyEnds += other.preyEnds;
    preyLifetimeSum += other.preyLifetimeSum;
    return *this;
}

std::uint32_t evaluationSeed(std::uint32_t baseSeed, std::int64_t predatorSnapshot,
                             std::int64_t preySnapshot, int worldIndex) {
    // A splitmix64 step after each part, so that near inputs give unrelated seeds.
    auto mix = [](std::uint64_t z) {
        z += 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    std::uint64_t h = mix(baseSeed);
    h = mix(h ^ std::uint64_t(predatorSnapshot));
    h = mix(h ^ std::uint64_t(preySnapshot));
    h = mix(h ^ std::uint64_t(std::uint32_t(worldIndex)));
    return std::uint32_t(h >> 32);
}

void setUpFrozenWorld(World& world, const ModelSettings& settings, const Contestant& predators,
                      const Contestant& prey, std::uint32_t seed) {
    world = World{};
    world.settings = settings;
    world.random.setState(seed);
    for (int i = 0; i < kMaxPredators; ++i)
        world.predators[i].init(settings, kSexualMode, i, true, world.random);
    for (int i = 0; i < kMaxPrey; ++i)
        world.prey[i].init(settings, kSexualMode, i, false, world.random);
    world.predatorCount = predators.count;
    world.preyCount = prey.count;
    for (int i = 0; i < predators.count; ++i) world.predatorGenomes[i] = predators.genomes[i];
    for (int i = 0; i < prey.count; ++i) world.preyGenomes[i] = prey.genomes[i];
    for (int k = 0; k < kMaxPredators; ++k) world.predatorRanks[k] = k;
    for (int k = 0; k < kMaxPrey; ++k) world.preyRanks[k] = k;
}

void runFrozenTick(World& world, Stepper& step, EvaluationScore& score) {
    const ModelSettings& settings = world.settings;
    for (int i = 0; i < world.preyCount; ++i) {
        Agent& q = world.prey[i];
        if (q.dead || q.captured) {
            score.preyEnds += 1;
            score.preyLifetimeSum += q.age;
            if (!q.captured) score.preyDeaths += 1;
            q.init(settings, q.reproMode, i, false, world.random);
        } else {
            q.beginTick(settings.energyPerTick);
        }
    }
    for (int i = 0; i < world.predatorCount; ++i) {
        Agent& p = world.predators[i];
        if (p.dead || p.ticksSinceCatch > settings.predatorStarvationTicks) {
            (p.dead ? score.predatorDeaths : score.starvations) += 1;
            p.init(settings, p.reproMode, i, true, world.random);
        } else {
            p.beginTick(settings.energyPerTick);
        }
    }
    step.run(world.view());
    for (int i = 0; i < world.predatorCount; ++i) score.captures += world.predators[i].captured;
    world.tick += 1;
    score.ticks += 1;
}

EvaluationScore evaluateWorld(const ModelSettings& settings, const Contestant& predators,
                              const Contestant& prey, std::uint32_t seed, std::int64_t ticks,
                              Stepper& step) {
    auto world = std::make_unique<World>();
    setUpFrozenWorld(*world, settings, predators, prey, seed);
    EvaluationScore score;
    for (std::int64_t t = 0; t < ticks; ++t) runFrozenTick(*world, step, score);
    return score;
}

}  // namespace kav
