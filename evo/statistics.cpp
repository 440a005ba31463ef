#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "evo/population.h"

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kav {

namespace {

constexpr float kProbeE[16] = {0.6f, 0.2f,  -0.6f, 0.0f,  0.4f, 0.7f, -0.7f, 0.1f,
                               1.7f, 1.0f,  -0.5f, -0.1f, 0.9f, 1.2f, -0.7f, 0.0f};
constexpr float kProbeM[4] = {0.0f, -0.1f, 0.0f, 0.2f};  // inputs 16-19: one Predator

}  // namespace

std::string tickField(std::int64_t tick) {
    std::string text = std::to_string(tick);
    text.resize(kTickFieldWidth, ' ');
    return text;
}

std::string fixedField(const char* format, float value, int width) {
    char text[512];
    std::snprintf(text, sizeof text, format, double(value));
    // A value that is not a number gives whatever text the C library makes of it
    // ("nan", "-nan", "inf"); it is cut like any other text, and a text shorter than
    // the field is padded with spaces so that the record keeps its layout.
    std::string field(text);
    field.resize(width, ' ');
    return field;
}

std::string rankRecord(float clonalRankPct, float sexualRankPct, std::int64_t tick) {
    return fixedField("%.4f", clonalRankPct, 4) + '\n' + fixedField("%.4f", sexualRankPct, 4) +
           '\n' + tickField(tick);
}

std::string probeRecord(const ProbeStatistics& stats, std::int64_t tick) {
    std::string record;
    for (float value : {stats.meanX, stats.meanY, stats.spread, stats.spreadChange})
        record += fixedField("%.8f", value, 10) + '\n';
    return record + tickField(tick);
}

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

bool Population::overwriteStatisticsFile(const char* name, const std::string& record) {
    const std::filesystem::path path = filePath(name);
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return false;  // not wanted
    auto skip = [&](int bit, const char* why) {
        if (!(statisticsWarned & bit))
            std::fprintf(stderr, "kavrosa: not writing statistics to %s: %s\n",
                         path.string().c_str(), why);
        statisticsWarned |= bit;
        return false;
    };
    const int bit = 1 << (name[0] == 'i' ? 0 : name[7] == 'E' ? 1 : 2);
    if (error) return skip(bit, error.message().c_str());
    if (status.type() == std::filesystem::file_type::symlink)
        return skip(bit, "it is a symbolic link");
    if (status.type() != std::filesystem::file_type::regular)
        return skip(bit, "it is not a regular file");

#if defined(__unix__) || defined(__APPLE__)
    // Opened for writing only, never created or truncated: the record overwrites the
    // start of the file and longer old content stays after it.
    const int fd = ::open(path.string().c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return skip(bit, std::strerror(errno));
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ok = ok && ::write(fd, record.data(), record.size()) == ssize_t(record.size());
    const int savedErrno = errno;
    ::close(fd);
    if (!ok) return skip(bit, std::strerror(savedErrno));
#else
    std::FILE* file = std::fopen(path.string().c_str(), "r+b");
    if (!file) return skip(bit, std::strerror(errno));
    const bool ok = std::fwrite(record.data(), 1, record.size(), file) == record.size();
    if (std::fclose(file) != 0 || !ok) return skip(bit, "write failed");
#endif
    statisticsWarned &= ~bit;
    return true;
}

ProbeStatistics Population::runProbe(const float* values, int first, int valueCount,
                                     float& previousSpread) {
    // The Prey block and the nearest Predator from the probe, the rest as last sensed.
    InputVector inputs = step.lastSensedInputs();
    for (int i = kPreyBlock; i < kPredatorBlock + kTermsPerNeighbour; ++i) inputs[i] = 0.0f;
    for (int i = 0; i < valueCount; ++i) inputs[first + i] = values[i];
    for (int m = 0; m < preyCount; ++m) {
        probe.genome = prey[preyRanks[m]].genome;
        probeOut[m] = {0.0f, 0.0f};
        control(probe, inputs);
        probeOut[m] = {probe.nextVx, probe.nextVy};
    }
    const ProbeStatistics stats = probeStatistics(probeOut.data(), preyCount, previousSpread);
    previousSpread = stats.spread;
    return stats;
}

void Population::writeStatistics() {
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
    overwriteStatisticsFile(kRankFileName, rankRecord(clonalRankPct, sexualRankPct, tick));

    // Inputs 20-39 are what the last sensing of the world step left.
    probe.vx = 0.0f;
    probe.vy = 0.0f;
    const ProbeStatistics e = runProbe(kProbeE, kPreyBlock, 16, probeSpreadE);
    overwriteStatisticsFile(kProbeEFileName, probeRecord(e, tick));
    const ProbeStatistics m = runProbe(kProbeM, kPredatorBlock, 4, probeSpreadM);
    overwriteStatisticsFile(kProbeMFileName, probeRecord(m, tick));
}

}  // namespace kav
