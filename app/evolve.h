#pragma once
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "evo/population.h"

namespace kav {

struct EvolveOptions {
    std::string folder;                  // empty: the working folder
    std::optional<std::uint64_t> ticks;  // none: until SIGINT or SIGTERM
    std::uint32_t seed = 1;
    std::string dumpFile;  // empty: no dump
    bool progress = false;
};

// Runs the headless evolution; returns the process exit status.
int runEvolve(const EvolveOptions& options);

// One CSV row per slot, Predator slots 0-39 then Prey slots 0-199, with a header line.
void writeDump(std::FILE* out, const Population& population);

}  // namespace kav
