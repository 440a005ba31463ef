#include "io/statistics_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kav {

const char* statisticsFileName(StatisticsFile file) {
    switch (file) {
        case StatisticsFile::rank:
            return "ivklsiker.txt";
        case StatisticsFile::probeE:
            return "AiTesztE.txt";
        case StatisticsFile::probeM:
            return "AiTesztM.txt";
    }
    return "";
}

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

void StatisticsFiles::write(const TickReport& report) {
    overwrite(StatisticsFile::rank,
              rankRecord(report.clonalRankPct, report.sexualRankPct, report.tick));
    overwrite(StatisticsFile::probeE, probeRecord(report.probeE, report.tick));
    overwrite(StatisticsFile::probeM, probeRecord(report.probeM, report.tick));
}

bool StatisticsFiles::overwrite(StatisticsFile file, const std::string& record) {
    const std::filesystem::path path = folder_ / statisticsFileName(file);
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return false;  // not wanted
    const unsigned bit = 1u << static_cast<int>(file);
    auto skip = [&](const char* why) {
        if (!(warned_ & bit))
            std::fprintf(stderr, "kavrosa: not writing statistics to %s: %s\n",
                         path.string().c_str(), why);
        warned_ |= bit;
        return false;
    };
    if (error) return skip(error.message().c_str());
    if (status.type() == std::filesystem::file_type::symlink) return skip("it is a symbolic link");
    if (status.type() != std::filesystem::file_type::regular)
        return skip("it is not a regular file");

#if defined(__unix__) || defined(__APPLE__)
    // Opened for writing only, never created or truncated: the record overwrites the
    // start of the file and longer old content stays after it.
    const int fd = ::open(path.string().c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return skip(std::strerror(errno));
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ok = ok && ::write(fd, record.data(), record.size()) == ssize_t(record.size());
    const int savedErrno = errno;
    ::close(fd);
    if (!ok) return skip(std::strerror(savedErrno));
#else
    std::FILE* out = std::fopen(path.string().c_str(), "r+b");
    if (!out) return skip(std::strerror(errno));
    const bool ok = std::fwrite(record.data(), 1, record.size(), out) == record.size();
    if (std::fclose(out) != 0 || !ok) return skip("write failed");
#endif
    warned_ &= ~bit;
    return true;
}

}  // namespace kav
