// kavrosa-evolve: the headless evolution, at full speed, on the same Genome file and
// statistics files as the window program, with a time-series log and checkpoints.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <unistd.h>

#include "app/evolve.h"
#include "io/run_folder.h"

namespace {

// A whole number within [low, high], or nothing (with `message` printed) when the
// text is not one. CLI11's own range messages print the type's bounds in full.
std::optional<long long> wholeNumber(const std::string& name, const std::string& text,
                                     long long low, long long high, const std::string& rule) {
    long long value = 0;
    bool ok = !text.empty() && text.size() <= 18;
    std::size_t at = 0;
    bool negative = false;
    if (ok && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        at = 1;
        ok = text.size() > 1;
    }
    for (std::size_t i = at; ok && i < text.size(); ++i) {
        ok = text[i] >= '0' && text[i] <= '9';
        value = value * 10 + (text[i] - '0');
    }
    if (negative) value = -value;
    if (!ok || value < low || value > high) {
        std::fprintf(stderr, "kavrosa-evolve: %s must be %s (not \"%s\")\n", name.c_str(),
                     rule.c_str(), text.c_str());
        return std::nullopt;
    }
    return value;
}

// The folder a file is to be written in must exist before the run starts.
bool folderOfFileUsable(const std::string& option, const std::string& file) {
    std::filesystem::path parent = std::filesystem::path(file).parent_path();
    if (parent.empty()) parent = ".";
    std::error_code error;
    if (!std::filesystem::is_directory(parent, error)) {
        std::fprintf(stderr, "kavrosa-evolve: %s %s: the folder %s does not exist\n",
                     option.c_str(), file.c_str(), parent.string().c_str());
        return false;
    }
    if (::access(parent.c_str(), W_OK | X_OK) != 0) {
        std::fprintf(stderr, "kavrosa-evolve: %s %s: cannot write in %s: %s\n", option.c_str(),
                     file.c_str(), parent.string().c_str(), std::strerror(errno));
        return false;
    }
    if (std::filesystem::is_directory(file, error)) {
        std::fprintf(stderr, "kavrosa-evolve: %s %s is a folder\n", option.c_str(), file.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Runs the Kavrosa evolution without a window, as fast as the machine allows.\n"
        "Reads and writes genom.gen, its sidecar genom.gen.json and the statistics\n"
        "files (ivklsiker.txt, AiTesztE.txt, AiTesztM.txt, written only if they\n"
        "exist) in the folder; one program at a time per folder.",
        "kavrosa-evolve"};
    kav::EvolveOptions options;
    std::string ticks, until, seed, logEvery = "200", saveEvery = "100000", predators, prey,
                                    progress = "60", vector;
    app.set_version_flag("--version", std::string("kavrosa-evolve ") + kav::programVersion());
    app.add_option("-C,--folder", options.folder,
                   "Folder holding genom.gen and the statistics files (default: the working "
                   "folder)");
    app.add_option("--ticks", ticks, "Number of ticks to run (default: until Ctrl+C)");
    app.add_option("--until", until, "Run until the evolution's tick counter reaches TICK");
    app.add_option("--seed", seed,
                   "Start state of the random source of a new evolution (default 1); an "
                   "evolution with its sidecar continues its own random state");
    app.add_option("--predators", predators,
                   "Number of Predators, 1-40: the start count of a new evolution, or reached "
                   "one per tick");
    app.add_option("--prey", prey, "Number of Prey, 1-200, likewise");
    app.add_option("--log", options.logFile,
                   "Append a CSV row per report to this file (relative to the working folder)");
    app.add_option("--log-every", logEvery,
                   "Ticks between log rows, a multiple of 200 (default 200)");
    app.add_option("--save-every", saveEvery,
                   "Save genom.gen, its sidecar and the log every N ticks (default 100000; 0: "
                   "at the end only)");
    app.add_option("--dump", options.dumpFile,
                   "After the run, write every Agent slot to this CSV file");
    app.add_option("--progress", progress,
                   "When stderr is not a terminal, a progress line every SECONDS (default 60; 0: "
                   "none)");
    app.add_option(
        "--vector", vector,
        std::string("The vector unit of the world step: scalar, sse2, avx2 or avx512 (default: "
                    "the widest this machine runs, here ") +
            kav::nameOf(kav::widestVectorPath()) + "); every one gives the same results");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }

    constexpr long long kHuge = 999'999'999'999'999'999LL;
    const std::string whole = "a whole number \xE2\x89\xA5 0";
    if (!ticks.empty()) {
        const auto value = wholeNumber("--ticks", ticks, 0, kHuge, whole);
        if (!value) return 2;
        options.ticks = std::uint64_t(*value);
    }
    if (!until.empty()) {
        const auto value = wholeNumber("--until", until, 0, kHuge, whole);
        if (!value) return 2;
        options.untilTick = *value;
    }
    if (options.ticks && options.untilTick) {
        std::fprintf(stderr, "kavrosa-evolve: give --ticks or --until, not both\n");
        return 2;
    }
    if (!seed.empty()) {
        const auto value =
            wholeNumber("--seed", seed, 0, 4294967295LL, "a whole number from 0 to 4294967295");
        if (!value) return 2;
        options.seed = std::uint32_t(*value);
    }
    if (!predators.empty()) {
        const auto value = wholeNumber("--predators", predators, 1, kav::kMaxPredators,
                                       "a whole number from 1 to 40");
        if (!value) return 2;
        options.predators = int(*value);
    }
    if (!prey.empty()) {
        const auto value =
            wholeNumber("--prey", prey, 1, kav::kMaxPrey, "a whole number from 1 to 200");
        if (!value) return 2;
        options.prey = int(*value);
    }
    {
        const auto value =
            wholeNumber("--log-every", logEvery, 200, kHuge, "a whole multiple of 200 ticks");
        if (!value || *value % 200 != 0) {
            if (value)
                std::fprintf(stderr,
                             "kavrosa-evolve: --log-every must be a whole multiple of "
                             "200 ticks (not \"%s\")\n",
                             logEvery.c_str());
            return 2;
        }
        options.logEvery = *value;
    }
    {
        const auto value = wholeNumber("--save-every", saveEvery, 0, kHuge, whole);
        if (!value) return 2;
        options.saveEvery = std::uint64_t(*value);
    }
    {
        const auto value = wholeNumber("--progress", progress, 0, 100'000'000, whole);
        if (!value) return 2;
        options.progressSeconds = double(*value);
    }

    if (!vector.empty()) {
        bool known = false;
        for (kav::VectorPath path : kav::kVectorPaths) {
            if (vector != kav::nameOf(path)) continue;
            known = true;
            if (!kav::canRun(path)) {
                std::fprintf(stderr,
                             "kavrosa-evolve: --vector %s: this processor cannot run it (the "
                             "widest it runs is %s)\n",
                             vector.c_str(), kav::nameOf(kav::widestVectorPath()));
                return 2;
            }
            options.vectorPath = path;
        }
        if (!known) {
            std::fprintf(
                stderr,
                "kavrosa-evolve: --vector must be scalar, sse2, avx2 or avx512 (not \"%s\")\n",
                vector.c_str());
            return 2;
        }
    }

    if (!options.folder.empty()) {
        std::error_code error;
        if (!std::filesystem::is_directory(options.folder, error)) {
            std::fprintf(stderr, "kavrosa-evolve: %s is not a folder\n", options.folder.c_str());
            return 2;
        }
        if (::access(options.folder.c_str(), R_OK | W_OK | X_OK) != 0) {
            std::fprintf(stderr, "kavrosa-evolve: cannot use folder %s: %s\n",
                         options.folder.c_str(), std::strerror(errno));
            return 2;
        }
    }
    if (!options.dumpFile.empty() && !folderOfFileUsable("--dump", options.dumpFile)) return 2;
    if (!options.logFile.empty() && !folderOfFileUsable("--log", options.logFile)) return 2;

    for (int i = 1; i < argc; ++i) {
        if (i > 1) options.arguments += ' ';
        options.arguments += argv[i];
    }
    options.terminal = ::isatty(STDERR_FILENO) != 0;
    return kav::runEvolve(options);
}
