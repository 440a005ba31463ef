#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace kav {

struct WindowOptions {
    std::string folder;  // of genom.gen and the statistics files; empty: "."
    // Start state of the random source of a new evolution (none: 1); a resumed one
    // continues the state saved beside genom.gen.
    std::optional<std::uint32_t> seed;
    double autosaveSeconds = 300.0;  // 0: no autosave
    std::string logFile;             // the time-series log; empty: none
    std::string arguments;           // the command line, for the record of runs
};

// The outcome of reading the command line: either options to run with, or an exit
// status (0 after --help or --version, 2 after a bad argument) with its text already
// printed.
struct ParsedWindowOptions {
    bool run = false;
    int exitStatus = 0;
    WindowOptions options;
};

ParsedWindowOptions parseWindowOptions(int argc, const char* const* argv);

}  // namespace kav
