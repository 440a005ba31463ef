#include "app/agent_details.h"

#include <algorithm>
#include <cmath>

namespace kav {

GenerationSummary summarizeGenerations(const Population& world, bool predators) {
    const PopulationSummary summary = world.summary(predators);
    return {summary.meanGeneration, summary.maxGeneration};
}

ControlSnapshot latestControl(const Population& world, bool predator, int slot) {
    const AgentReadings& readings = world.step.readings;
    if (predator) return {readings.predatorInputs[slot], readings.predatorOutputs[slot]};
    return {readings.preyInputs[slot], readings.preyOutputs[slot]};
}

std::uint32_t weightColour(float weight) {
    if (!std::isfinite(weight)) return 0xFF00FF;  // magenta: a weight that is not a number
    const float level = std::min(std::fabs(weight) / 2.0f, 1.0f);
    const auto channel = [level](float full) {
        return static_cast<std::uint32_t>(std::lround(24.0f + (full - 24.0f) * level));
    };
    if (weight < 0) return channel(40) << 16 | channel(120) << 8 | channel(255);
    return channel(255) << 16 | channel(150) << 8 | channel(30);
}

}  // namespace kav
