#include <cmath>

#include "evo/population.h"

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

ProbeStatistics Population::runProbe(const float* values, int first, int valueCount,
                                     float& previousSpread) {
    // The Prey block and the nearest Predator from the probe, the rest as last sensed.
    InputVector inputs = step.lastSensedInputs();
    for (int i = kPreyBlock; i < kPredatorBlock + kTermsPerNeighbour; ++i) inputs[i] = 0.0f;
    for (int i = 0; i < valueCount; ++i) inputs[first + i] = values[i];
    for (int m = 0; m < preyCount; ++m) {
        probeOut[m] = {0.0f, 0.0f};
        control(probe, preyGenomes[preyRanks[m]].data(), inputs, settings);
        probeOut[m] = {probe.nextVx, probe.nextVy};
    }
    const ProbeStatistics stats = probeStatistics(probeOut.data(), preyCount, previousSpread);
    previousSpread = stats.spread;
    return stats;
}

PopulationSummary Population::summary(bool ofPredators) const {
    const int count = ofPredators ? predatorCount : preyCount;
    const Agent* agents = ofPredators ? predators.data() : prey.data();
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

const TickReport& Population::makeReport() {
    std::int32_t sexualCount = 0, sexualSum = 0, clonalCount = 0, clonalSum = 0;
    for (int i = 0; i < preyCount; ++i) {
        if (prey[i].reproMode == kSexualMode) {
            sexualCount += 1;
            sexualSum += prey[i].rank;
        } else if (prey[i].reproMode == kClonalMode) {
            clonalCount += 1;
            clonalSum += prey[i].rank;
        }
    }
    // No Prey is clonal, so the clonal mean is 0/0; with one Prey both are.
    const double bottom = double(preyCount - 1);
    clonalRankPct = static_cast<float>(double(clonalSum) / double(clonalCount) / bottom * 100.0);
    sexualRankPct = static_cast<float>(double(sexualSum) / double(sexualCount) / bottom * 100.0);

    // Inputs 20-39 are what the last sensing of the world step left.
    probe.vx = 0.0f;
    probe.vy = 0.0f;
    report_.probeE = runProbe(kProbeE, 0, 16, probeSpreadE);
    report_.probeM = runProbe(kProbeM, 16, 4, probeSpreadM);

    report_.tick = tick;
    report_.clonalRankPct = clonalRankPct;
    report_.sexualRankPct = sexualRankPct;
    report_.predators = summary(true);
    report_.prey = summary(false);
    report_.events = events_;
    return report_;
}

}  // namespace kav
