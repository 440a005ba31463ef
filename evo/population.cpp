#include "evo/population.h"

namespace kav {

void Population::setup(const Arena& arena, float preyRadius, float predatorRadius,
                       int initialPredatorCount, int initialPreyCount,
                       const SavedEvolution* saved) {
    ModelSettings settings;
    settings.arena = arena;
    settings.preyRadius = preyRadius;
    settings.predatorRadius = predatorRadius;
    setup(settings, initialPredatorCount, initialPreyCount, saved);
}

void Population::setup(const ModelSettings& settings, int initialPredatorCount,
                       int initialPreyCount, const SavedEvolution* saved) {
    setUpWorld(world, settings, initialPredatorCount, initialPreyCount, saved);
    report_ = {};
}

}  // namespace kav
