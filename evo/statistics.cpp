#include <cmath>

#include "evo/evolution.h"

namespace kav {

namespace {

constexpr float kProbeE[16] = {0.6f, 0.2f, -0.6f, 0.0f,  0.4f, 0.7f, -0.7f, 0.1f,
                               1.7f, 1.0f, -0.5f, -0.1f, 0.9f, 1.2f, -0.7f, 0.0f};
constexpr float kProbeM[4] = {0.0f, -0.1f, 0.0f, 0.2f};  // inputs 16-19: one Predator

}  // namespace

ProbeStatistics probeStatistics(const std::array<float, 2>* responses, int count,
                                float previousSpread) {
    ProbeStatistics stats;
    float sumX = 0.0f;
    float sumY = 0.0f;
    for (int m = 0; m < count; ++m) {
        sumX = sumX + responses[m][0];
        sumY = sumY + responses[m][1];
    }
    stats.meanX = sumX / float(count);
    stats.meanY = sumY / float(count);
    float distanceSum = 0.0f;
    for (int m = 0; m < count; ++m) {
        const float ex = responses[m][0] - stats.meanX;
        const float ey = responses[m][1] - stats.meanY;
        const float squared = ex * ex + ey * ey;
        distanceSum = distanceSum + std::sqrt(squared);
    }
    const float meanLengthSquared = stats.meanX * stats.meanX + stats.meanY * stats.meanY;
    stats.spread = (distanceSum / float(count)) / std::sqrt(meanLengthSquared);
    stats.spreadChange = stats.spread - previousSpread;
    return stats;
}

namespace {

ProbeStatistics runProbe(World& world, const Stepper& step, Probe probe, float& previousSpread) {
    std::array<std::array<float, 2>, kMaxPrey> responses;
    probeResponses(world, step, probe, responses);
    const ProbeStatistics stats =
        probeStatistics(responses.data(), world.preyCount, previousSpread);
    previousSpread = stats.spread;
    return stats;
}

}  // namespace

void probeResponses(const World& world, const Stepper& step, Probe probe,
                    std::array<std::array<float, 2>, kMaxPrey>& responses) {
    // The Prey block and the nearest Predator from the probe.
    const bool fourPrey = probe == Probe::fourPrey;
    const float* values = fourPrey ? kProbeE : kProbeM;
    const int first = fourPrey ? 0 : 16;
    const int valueCount = fourPrey ? 16 : 4;
    InputVector inputs = step.lastSensedInputs();
    for (int i = kPreyBlock; i < kPredatorBlock + kTermsPerNeighbour; ++i) inputs[i] = 0.0f;
    for (int i = 0; i < valueCount; ++i) inputs[first + i] = values[i];
    for (int m = 0; m < world.preyCount; ++m) {
        Agent resting{};
        control(resting, world.preyGenomes[world.preyRanks[m]].data(), inputs, world.settings);
        responses[m] = {resting.nextVx, resting.nextVy};
    }
}

PopulationSummary summary(const World& world, bool ofPredators) {
    const int count = ofPredators ? world.predatorCount : world.preyCount;
    const Agent* agents = ofPredators ? world.predators.data() : world.prey.data();
    PopulationSummary result;
    result.count = count;
    double generations = 0.0;
    double energy = 0.0;
    for (int i = 0; i < count; ++i) {
        generations += double(agents[i].generation);
        energy += double(agents[i].energy);
        if (agents[i].generation > result.maxGeneration)
            result.maxGeneration = agents[i].generation;
    }
    result.meanGeneration = count > 0 ? generations / count : 0.0;
    result.meanEnergy = count > 0 ? energy / count : 0.0;
    return result;
}

TickReport makeReport(World& world, const Stepper& step) {
    const int preyCount = world.preyCount;
    std::int32_t sexualCount = 0, sexualSum = 0, clonalCount = 0, clonalSum = 0;
    for (int i = 0; i < preyCount; ++i) {
        const Agent& q = world.prey[i];
        if (q.reproMode == kSexualMode) {
            sexualCount += 1;
            sexualSum += q.rank;
        } else if (q.reproMode == kClonalMode) {
            clonalCount += 1;
            clonalSum += q.rank;
        }
    }
    TickReport report;
    // No Prey is clonal, so the clonal mean is 0/0; with one Prey both are.
    const double bottom = double(preyCount - 1);
    report.clonalRankPct =
        static_cast<float>(double(clonalSum) / double(clonalCount) / bottom * 100.0);
    report.sexualRankPct =
        static_cast<float>(double(sexualSum) / double(sexualCount) / bottom * 100.0);
    // Inputs 20-39 are what the last sensing of the world step left.
    report.probeE = runProbe(world, step, Probe::fourPrey, world.probeSpreadE);
    report.probeM = runProbe(world, step, Probe::predatorAhead, world.probeSpreadM);
    report.tick = world.tick;
    report.predators = summary(world, true);
    report.prey = summary(world, false);
    report.events = world.events;
    return report;
}

}  // namespace kav
