#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "evo/report.h"

namespace kav {

// The time series of an evolution: one CSV row per report (every 200th tick, or every
// n-th report), appended. Every value comes from the report, so the same evolution
// gives the same file, byte for byte, however it was split into runs.
std::string logHeader();  // without the line break
// The events are those since the previous row: the report's totals minus `atPreviousRow`.
std::string logRow(const TickReport& report, const EventCounts& atPreviousRow);
int logColumnCount();

// The complete rows of a log's text: the tick of each and where its line ends. Parsing
// stops at the first line that is not a whole row: a torn last line (no line break), or
// a whole line that is not a row, whose number `badLine` then gives.
struct LogContents {
    bool hasHeader = false;      // the first line is this program's header
    bool foreignHeader = false;  // the text does not begin with (a part of) the header
    std::size_t badLine = 0;     // 1-based; 0: every whole line after the header is a row
    std::string badWhy;
    std::vector<std::int64_t> ticks;
    std::vector<std::size_t> rowEnds;  // offset just past each row's line break
    std::size_t headerEnd = 0;
    std::size_t size = 0;
};
LogContents parseLog(const std::string& text);

// What a row of the log says, for a reader that plots the history.
struct LogRecord {
    std::int64_t tick = 0;
    EventCounts events;  // since the previous row
    double predatorMeanGeneration = 0;
    double preyMeanGeneration = 0;
    float probeESpread = 0;
    float probeMSpread = 0;
};
// The rows of a log's text up to the first that is not a whole row of numbers ("nan" is
// one), as parseLog delimits them.
std::vector<LogRecord> logRecords(const std::string& text);

class TimeSeriesLog {
public:
    TimeSeriesLog() = default;
    TimeSeriesLog(const TimeSeriesLog&) = delete;
    TimeSeriesLog& operator=(const TimeSeriesLog&) = delete;
    ~TimeSeriesLog();

    // Opens the log for appending at tick `tick`. A new or empty file gets the header.
    // A torn last line (a program killed while writing) is dropped; a file that is not a
    // log or has a whole line that is not a row is refused as it stands. Rows after `tick`
    // are dropped when `dropLaterRows` (the evolution resumes exactly from a checkpoint
    // older than the log); otherwise they are refused: they belong to another evolution.
    // False with the reason in `why` when the file can't be used; `notes` gets a line
    // for anything dropped.
    bool open(const std::filesystem::path& path, std::int64_t tick, bool dropLaterRows,
              std::string& why, std::vector<std::string>& notes);
    bool isOpen() const { return fd_ >= 0; }
    // Appends one row in a single write, so that a killed program leaves whole rows.
    bool append(const std::string& row);
    // Drops the rows after `tick` (an evolution rewound to it); false with the reason.
    bool dropRowsAfter(std::int64_t tick, std::string& why);
    // Flushes the rows to the disk (at checkpoints).
    bool sync();
    void close();
    const std::filesystem::path& path() const { return path_; }

private:
    int fd_ = -1;
    std::filesystem::path path_;
};

}  // namespace kav
