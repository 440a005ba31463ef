#pragma once
#include <cstdint>
#include <string>

namespace kav {

struct WindowOptions {
    std::string folder;              // of genom.gen and the statistics files; empty: "."
    std::uint32_t seed = 1;          // start state of the random source
    double autosaveSeconds = 300.0;  // 0: no autosave
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
