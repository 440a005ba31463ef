#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "app/movie.h"
#include "io/parameter_file.h"
#include "sim/model_settings.h"

namespace kav {

struct WindowOptions {
    std::string folder;  // of genom.gen and the statistics files; empty: "."
    // Start state of the random source of a new evolution (none: 1); a resumed one
    // continues the state saved beside genom.gen.
    std::optional<std::uint32_t> seed;
    double autosaveSeconds = 300.0;      // 0: no autosave
    std::string logFile;                 // the time-series log; empty: none
    std::string arguments;               // the command line, for the record of runs
    ModelSettings newSettings;           // a new evolution's model (parameters applied)
    ParameterSource parameters;          // --params and --set, for a resumed evolution
    std::int64_t archiveEvery = 0;       // ticks between archive snapshots; 0: none
    std::int64_t rewindMemoryMiB = 256;  // for the keyframes of the rewind; 0: no rewind
    // A movie of the next movieTicks ticks instead of the window; empty: the window.
    std::string movieFile;
    std::int64_t movieTicks = 0;
    MovieSize movieSize;
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
