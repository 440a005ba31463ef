#include "app/agent_details.h"

#include <algorithm>
#include <cmath>

namespace kav {

GenerationSummary summarizeGenerations(const Population& world, bool predators) {
    const int count = predators ? world.predatorCount : world.preyCount;
    const Agent* agents = predators ? world.predators.data() : world.prey.data();
    GenerationSummary summary;
    if (count <= 0) return summary;
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        sum += static_cast<double>(agents[i].generation);
        summary.maximum = std::max(summary.maximum, agents[i].generation);
    }
    summary.mean = sum / count;
    return summary;
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
