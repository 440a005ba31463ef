#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "evo/report.h"

namespace kav {

// The three statistics files of a folder. Each report overwrites the start of each file
// that exists with a fixed-width record; a file that does not exist is not wanted and is
// never created.
enum class StatisticsFile {
    rank,    // ivklsiker.txt: the Prey's mean rank position per reproduction mode
    probeE,  // AiTesztE.txt: the Prey Genomes' answers to a scene of four Prey
    probeM,  // AiTesztM.txt: their answers to one Predator ahead
};
constexpr int kStatisticsFileCount = 3;

const char* statisticsFileName(StatisticsFile file);

// The fixed-width texts of the records.
constexpr int kTickFieldWidth = 20;
std::string tickField(std::int64_t tick);
std::string fixedField(const char* format, float value, int width);
std::string rankRecord(float clonalRankPct, float sexualRankPct, std::int64_t tick);
std::string probeRecord(const ProbeStatistics& stats, std::int64_t tick);

class StatisticsFiles {
public:
    explicit StatisticsFiles(const std::filesystem::path& folder) : folder_(folder) {}

    // Writes the three records of a report.
    void write(const TickReport& report);

    // Overwrites the start of one file with a record, if the file exists and is a
    // regular file. A file that can't be written is reported once on stderr (again
    // only after it was written successfully in between) and skipped.
    bool overwrite(StatisticsFile file, const std::string& record);

private:
    std::filesystem::path folder_;
    unsigned warned_ = 0;  // files already reported as unwritable, one bit each
};

}  // namespace kav
