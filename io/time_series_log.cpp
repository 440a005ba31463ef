#include "io/time_series_log.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kav {

namespace {

constexpr const char* kColumns[] = {
    "tick",
    "predators",
    "prey",
    "captures",
    "predatorBirths",
    "preyBirths",
    "starvations",
    "predatorDeaths",
    "preyDeaths",
    "predatorMeanGeneration",
    "predatorMaxGeneration",
    "predatorMeanEnergy",
    "preyMeanGeneration",
    "preyMaxGeneration",
    "preyMeanEnergy",
    "clonalRankPct",
    "sexualRankPct",
    "probeEMeanX",
    "probeEMeanY",
    "probeESpread",
    "probeESpreadChange",
    "probeMMeanX",
    "probeMMeanY",
    "probeMSpread",
    "probeMSpreadChange",
};

// A float with the digits that give it back exactly; any NaN is written "nan".
void addFloat(std::string& row, float value) {
    char text[32];
    if (std::isnan(value)) std::snprintf(text, sizeof text, ",nan");
    else std::snprintf(text, sizeof text, ",%.9g", double(value));
    row += text;
}
void addMean(std::string& row, double value) {
    char text[40];
    std::snprintf(text, sizeof text, ",%.6f", value);
    row += text;
}
void addInt(std::string& row, std::int64_t value) {
    row += ',';
    row += std::to_string(value);
}

bool parseTick(std::string_view line, std::int64_t& tick) {
    const std::size_t comma = line.find(',');
    if (comma == 0 || comma == std::string_view::npos) return false;
    std::string_view digits = line.substr(0, comma);
    const bool negative = digits[0] == '-';
    if (negative) digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 18) return false;  // no counter wraps here
    tick = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        tick = tick * 10 + (c - '0');
    }
    if (negative) tick = -tick;
    return true;
}

bool readWhole(int fd, std::size_t size, std::string& text, std::string& why) {
    text.assign(size, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::pread(fd, text.data() + got, text.size() - got, off_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            why = n < 0 ? std::strerror(errno) : "it shrank while being read";
            return false;
        }
        got += std::size_t(n);
    }
    return true;
}

// The comma-separated numbers of a row; false at anything else.
bool rowValues(std::string_view line, std::vector<double>& values) {
    values.clear();
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) comma = line.size();
        const std::string field(line.substr(start, comma - start));
        char* end = nullptr;
        const double value = std::strtod(field.c_str(), &end);
        if (field.empty() || end != field.c_str() + field.size()) return false;
        values.push_back(value);
        start = comma + 1;
    }
    return true;
}

}  // namespace

std::string logHeader() {
    std::string header;
    for (const char* column : kColumns) {
        if (!header.empty()) header += ',';
        header += column;
    }
    return header;
}

int logColumnCount() { return int(std::size(kColumns)); }

std::string logRow(const TickReport& r, const EventCounts& before) {
    std::string row = std::to_string(r.tick);
    addInt(row, r.predators.count);
    addInt(row, r.prey.count);
    const EventCounts& e = r.events;
    addInt(row, e.captures - before.captures);
    addInt(row, e.predatorBirths - before.predatorBirths);
    addInt(row, e.preyBirths - before.preyBirths);
    addInt(row, e.starvations - before.starvations);
    addInt(row, e.predatorDeaths - before.predatorDeaths);
    addInt(row, e.preyDeaths - before.preyDeaths);
    for (const PopulationSummary* s : {&r.predators, &r.prey}) {
        addMean(row, s->meanGeneration);
        addInt(row, s->maxGeneration);
        addMean(row, s->meanEnergy);
    }
    addFloat(row, r.clonalRankPct);
    addFloat(row, r.sexualRankPct);
    for (const ProbeStatistics* p : {&r.probeE, &r.probeM}) {
        addFloat(row, p->meanX);
        addFloat(row, p->meanY);
        addFloat(row, p->spread);
        addFloat(row, p->spreadChange);
    }
    return row + '\n';
}

LogContents parseLog(const std::string& text) {
    LogContents log;
    log.size = text.size();
    const std::size_t headerBreak = text.find('\n');
    if (headerBreak == std::string::npos) {
        // A torn header is a beginning of it; anything else is another file.
        log.foreignHeader = logHeader().compare(0, text.size(), text) != 0;
        return log;
    }
    const std::string_view header(text.data(), headerBreak);
    if (header != logHeader()) {
        log.foreignHeader = true;
        return log;
    }
    log.hasHeader = true;
    log.headerEnd = headerBreak + 1;
    const int columns = logColumnCount();
    std::size_t start = log.headerEnd;
    std::size_t lineNumber = 1;
    while (start < text.size()) {
        const std::size_t lineBreak = text.find('\n', start);
        if (lineBreak == std::string::npos) break;  // torn
        ++lineNumber;
        const std::string_view line(text.data() + start, lineBreak - start);
        std::int64_t tick = 0;
        int commas = 0;
        for (char c : line) commas += c == ',';
        const bool row = commas == columns - 1 && parseTick(line, tick);
        if (!row || (!log.ticks.empty() && tick <= log.ticks.back())) {
            log.badLine = lineNumber;
            log.badWhy = !row ? "not a row of " + std::to_string(columns) + " values"
                              : "its tick " + std::to_string(tick) + " does not follow " +
                                    std::to_string(log.ticks.back());
            break;
        }
        log.ticks.push_back(tick);
        log.rowEnds.push_back(lineBreak + 1);
        start = lineBreak + 1;
    }
    return log;
}

std::vector<LogRecord> logRecords(const std::string& text) {
    const LogContents log = parseLog(text);
    std::vector<LogRecord> records;
    std::vector<double> v;
    std::size_t start = log.headerEnd;
    for (std::size_t i = 0; i < log.ticks.size(); ++i) {
        const std::string_view line(text.data() + start, log.rowEnds[i] - 1 - start);
        start = log.rowEnds[i];
        if (!rowValues(line, v) || int(v.size()) != logColumnCount()) break;
        LogRecord r;
        r.tick = log.ticks[i];
        r.events = {std::int64_t(v[3]), std::int64_t(v[4]), std::int64_t(v[5]),
                    std::int64_t(v[6]), std::int64_t(v[7]), std::int64_t(v[8])};
        r.predatorMeanGeneration = v[9];
        r.preyMeanGeneration = v[12];
        r.probeESpread = float(v[19]);
        r.probeMSpread = float(v[23]);
        records.push_back(r);
    }
    return records;
}

TimeSeriesLog::~TimeSeriesLog() { close(); }

bool TimeSeriesLog::open(const std::filesystem::path& path, std::int64_t tick, bool dropLaterRows,
                         std::string& why, std::vector<std::string>& notes) {
    close();
    path_ = path;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    auto fail = [&](const std::string& reason) {
        why = reason;
        ::close(fd);
        return false;
    };
    struct stat info {};
    if (::fstat(fd, &info) != 0) return fail(std::strerror(errno));
    if (!S_ISREG(info.st_mode)) return fail("it is not a regular file");
    // Two programs appending to one log would interleave their rows.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(errno == EWOULDBLOCK ? "another program is writing it" : std::strerror(errno));

    std::string text;
    std::string readWhy;
    if (!readWhole(fd, std::size_t(info.st_size), text, readWhy)) return fail(readWhy);
    const LogContents log = parseLog(text);
    if (log.foreignHeader) return fail("its first line is not the header of a Kavrosa log");
    if (log.badLine > 0)
        return fail("line " + std::to_string(log.badLine) + " is " + log.badWhy +
                    "; the file is left as it is (repair or move it)");

    std::size_t keep = log.hasHeader ? log.headerEnd : 0;
    std::size_t kept = 0;
    while (kept < log.ticks.size() && log.ticks[kept] <= tick) keep = log.rowEnds[kept++];
    if (kept < log.ticks.size()) {
        if (!dropLaterRows)
            return fail("it holds rows up to tick " + std::to_string(log.ticks.back()) +
                        ", after this evolution's tick " + std::to_string(tick) +
                        ": they belong to another evolution; give another log file");
        notes.push_back(path.string() + ": dropping " + std::to_string(log.ticks.size() - kept) +
                        " rows after tick " + std::to_string(tick) +
                        ", the tick of the saved evolution");
    }
    const std::size_t wholeEnd = log.rowEnds.empty() ? log.headerEnd : log.rowEnds.back();
    if (log.hasHeader && wholeEnd < text.size())
        notes.push_back(path.string() + ": dropping a torn last line");
    else if (!log.hasHeader && !text.empty())
        notes.push_back(path.string() + ": dropping a torn header");
    if (keep < text.size() && ::ftruncate(fd, off_t(keep)) != 0) return fail(std::strerror(errno));
    if (::lseek(fd, 0, SEEK_END) < 0) return fail(std::strerror(errno));
    fd_ = fd;
    if (keep == 0 && !append(logHeader() + '\n')) {
        why = std::strerror(errno);
        close();
        return false;
    }
    return true;
}

bool TimeSeriesLog::append(const std::string& row) {
    if (fd_ < 0) return false;
    std::size_t done = 0;
    while (done < row.size()) {
        const ssize_t n = ::write(fd_, row.data() + done, row.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

bool TimeSeriesLog::dropRowsAfter(std::int64_t tick, std::string& why) {
    if (fd_ < 0) return true;
    struct stat info {};
    std::string text;
    if (::fstat(fd_, &info) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (!readWhole(fd_, std::size_t(info.st_size), text, why)) return false;
    const LogContents log = parseLog(text);
    std::size_t keep = log.headerEnd;
    for (std::size_t i = 0; i < log.ticks.size() && log.ticks[i] <= tick; ++i)
        keep = log.rowEnds[i];
    if (keep < text.size() && ::ftruncate(fd_, off_t(keep)) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (::lseek(fd_, 0, SEEK_END) < 0) {
        why = std::strerror(errno);
        return false;
    }
    return true;
}

bool TimeSeriesLog::sync() { return fd_ < 0 || ::fdatasync(fd_) == 0; }

void TimeSeriesLog::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace kav
