#pragma once
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "evo/population.h"
#include "io/parameter_file.h"
#include "sim/vector_path.h"

namespace kav {

struct EvolveOptions {
    std::string folder;                     // empty: the working folder
    std::optional<std::uint64_t> ticks;     // none: until SIGINT or SIGTERM (or --until)
    std::optional<std::int64_t> untilTick;  // stop when the evolution's tick reaches it
    std::optional<std::uint32_t> seed;      // none: 1, or the state the sidecar holds
    std::string dumpFile;                   // empty: no dump
    std::string logFile;                    // empty: no time-series log
    std::int64_t logEvery = 200;            // ticks between log rows
    std::uint64_t saveEvery = 100000;       // ticks between checkpoints; 0: at the end only
    std::optional<int> predators;           // sizes to reach
    std::optional<int> prey;
    bool terminal = false;                 // stderr is a terminal: a live progress line
    double progressSeconds = 60;           // off a terminal: a line this often; 0: none
    std::string arguments;                 // the command line, for the sidecar
    std::optional<VectorPath> vectorPath;  // none: the widest this machine runs
    ModelSettings newSettings;             // a new evolution's model (parameters applied)
    ParameterSource parameters;            // --params and --set, for a resumed evolution
    std::int64_t archiveEvery = 0;         // ticks between archive snapshots; 0: none
};

// Runs the headless evolution; returns the process exit status.
int runEvolve(const EvolveOptions& options);

// One CSV row per slot, Predator slots 0-39 then Prey slots 0-199, with a header line.
void writeDump(std::FILE* out, const Population& population);

}  // namespace kav
