#include <cmath>
#include <utility>

#include "evo/evolution.h"

namespace kav {

namespace {

// Advances a walk position over the rank list, wrapping to the top.
int advance(int position, int count) { return position + 1 == count ? 0 : position + 1; }

// Walks `steps` Agents of the given mode down the rank list from `position`; the Agent
// after the last one counted is where the walk stops.
int walk(int position, int steps, std::uint8_t mode, const Agent* agents, const std::int32_t* ranks,
         int count) {
    for (int s = 0; s < steps; ++s) {
        // An Agent of the mode always exists: the dead Agent itself is still in the list.
        int guard = 0;
        while (agents[ranks[position]].reproMode != mode && guard++ < count)
            position = advance(position, count);
        position = advance(position, count);
    }
    return position;
}

}  // namespace

void reproduce(World& world, Agent& dead) {
    const ModelSettings& settings = world.settings;
    Random& random = world.random;
    const bool predator = dead.isPredator != 0;
    Agent* agents = predator ? world.predators.data() : world.prey.data();
    std::int32_t* ranks = predator ? world.predatorRanks.data() : world.preyRanks.data();
    const int count = predator ? world.predatorCount : world.preyCount;
    const std::uint8_t mode = dead.reproMode;

    // 1. The dead Agent goes to the bottom; those below it move up one place.
    for (int p = dead.rank; p <= count - 2; ++p) {
        agents[ranks[p + 1]].rank -= 1;
        std::swap(ranks[p], ranks[p + 1]);
    }
    dead.rank = count - 1;

    // 2-4. Two walk lengths, then the parents where the walks end.
    auto walkLength = [&]() -> int {
        const double u = random.unit();
        return predator
                   ? static_cast<int>(u * count / double(settings.predatorParentWalkDivisor))
                   : static_cast<int>(u * count / double(settings.preyParentWalkDivisor) + 1.0);
    };
    const int firstSteps = walkLength();
    int position = walk(0, firstSteps, mode, agents, ranks, count);
    const Agent& first = agents[ranks[position]];
    const int secondSteps = walkLength();
    position = walk(position, secondSteps, mode, agents, ranks, count);
    const Agent& second = agents[ranks[position]];

    // 5. The Genome, gene by gene; each gene is read from its parent before it is
    // written, so a parent may be the dead Agent itself.
    const double amplitude = settings.mutationAmplitude;
    float* const genome = world.genomeOf(dead);
    const float* const firstGenome = world.genomeOf(first);
    if (mode == kClonalMode) {
        // Clonal offspring: the first parent's gene shifted by 4u - 8, one draw per gene
        // and no coin. No slot is ever given this mode; the rule is kept so that the mode
        // stays well defined.
        for (int g = 0; g < kGenomeSize; ++g) {
            const double u = random.unit();
            genome[g] = static_cast<float>(double(firstGenome[g]) + (4.0 * u - 8.0));
        }
    } else {
        // A coin, then the mutation. The coin picks the parent by index: as a branch it
        // would be mispredicted half the time.
        const float* const parentGenome[2] = {firstGenome, world.genomeOf(second)};
        for (int g = 0; g < kGenomeSize; ++g) {
            const Random::UnitPair u = random.unitPair();
            const int coin = static_cast<int>(2.0 * u.first);
            const double m = 2.0 * (u.second * amplitude) - amplitude;
            const float parentGene = parentGenome[coin][g];
            genome[g] = static_cast<float>(double(parentGene) + m);
        }
    }

    // 6. Near the first parent; a double zero offset is drawn again.
    const float spread = settings.offspringSpread;
    float dx = 0.0f;
    float dy = 0.0f;
    while (dx == 0.0f && dy == 0.0f) {
        // Twice the spread is exact in float: the standard 0.2 gives the offsets of 0.4u - 0.2.
        dx = static_cast<float>(double(2.0f * spread) * random.unit() - double(spread));
        dy = static_cast<float>(double(2.0f * spread) * random.unit() - double(spread));
    }
    dead.nextX = static_cast<float>(double(first.nextX) + dx);
    dead.nextY = static_cast<float>(double(first.nextY) + dy);
    // A parent with weights that are not finite died by moving to a position that is
    // not a number; the offspring then starts near where the dead Agent last stood,
    // which its last begin-tick made finite.
    if (!std::isfinite(dead.nextX) || !std::isfinite(dead.nextY)) {
        dead.nextX = static_cast<float>(double(dead.x) + dx);
        dead.nextY = static_cast<float>(double(dead.y) + dy);
    }

    // 7. Reset.
    dead.vx = 0.0f;
    dead.vy = 0.0f;
    dead.heading = std::isfinite(first.heading) ? first.heading : 0.0f;
    dead.energy = 1.0f;
    dead.dead = 0;
    dead.age = 0;
    dead.generation += 1;
    dead.ticksSinceCatch = 0;

    // 8-9.
    dead.beginTick(settings.energyPerTick);
    dead.catches = 0;
}

}  // namespace kav
