#pragma once
// Shared pieces of the robustness tests: temporary folders and whole files, stderr split
// into lines, and runs with the invariant checker after every tick.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "evo/invariants.h"
#include "evo/population.h"
#include "io/genome_file.h"
#include "io/statistics_files.h"
#include "test_files.h"

namespace kav::robust {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

inline bool runningAsRoot() { return ::geteuid() == 0; }

// Lines written to stderr, without the trailing empty piece.
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// Runs ticks with the invariant checker after each; stops at the first violation. The
// reports go to `statistics` when given.
inline ::testing::AssertionResult runChecked(Population& population, int ticks,
                                             StatisticsFiles* statistics = nullptr) {
    for (int t = 0; t < ticks; ++t) {
        if (population.runTick() && statistics) statistics->write(population.lastReport());
        const std::string failure = checkInvariants(population);
        if (!failure.empty())
            return ::testing::AssertionFailure()
                   << "after tick " << population.world.tick << ": " << failure;
    }
    return ::testing::AssertionSuccess();
}

// A world of the standard arena set up from the Genome file of `genomeFile` (or at random
// where it gives nothing), as the programs set up theirs.
inline std::unique_ptr<Population> worldFrom(GenomeFile& genomeFile, std::uint32_t seed = 1) {
    const LoadedGenomes loaded = genomeFile.load();
    auto population = std::make_unique<Population>();
    population->world.random.setState(seed);
    population->setupStandard(loaded.evolution ? &*loaded.evolution : nullptr);
    return population;
}

inline std::vector<unsigned char> bytesOf(const Population& population) {
    const GenomeFileBytes bytes = encodeGenomeFile(population.savedEvolution());
    return {bytes.begin(), bytes.end()};
}

}  // namespace kav::robust
