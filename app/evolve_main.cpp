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
#include <utility>
#include <vector>

#include "app/evolve.h"
#include "io/parameter_file.h"
#include "io/run_folder.h"
#include "io/snapshots.h"

namespace {

// The message of the first option value refused; CLI11's own messages print the type's
// bounds in full, so the validators write the program's own line here.
std::string refusal;

// A whole number within [low, high], as text: digits with an optional sign, at most 18
// characters. The validator drops a leading "+" for the conversion that follows.
CLI::Validator wholeNumber(const std::string& name, long long low, long long high,
                           const std::string& rule, long long multipleOf = 1) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
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
            if (ok && value >= low && value <= high && value % multipleOf == 0) {
                if (text[0] == '+') text.erase(0, 1);
                return {};
            }
            if (refusal.empty()) refusal = name + " must be " + rule + " (not \"" + text + "\")";
            return refusal;
        },
        rule);
}

// A path option must name something: an empty value is refused, not ignored.
CLI::Validator someName(const std::string& name, const std::string& what) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            if (!text.empty()) return {};
            if (refusal.empty()) refusal = name + " needs " + what + " (not \"\")";
            return refusal;
        },
        "PATH");
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
    constexpr long long kHuge = 999'999'999'999'999'999LL;
    const std::string whole = "a whole number \xE2\x89\xA5 0";
    std::uint64_t ticks = 0;
    std::int64_t until = 0;
    std::uint32_t seed = 1;
    int predators = 0, prey = 0;
    std::int64_t progress = 60;
    std::string vector;
    std::vector<std::string> sets;
    std::string paramsFile;
    std::string listFormat;
    bool checkOnly = false;
    app.set_version_flag("--version", std::string("kavrosa-evolve ") + kav::programVersion());
    app.add_option("-C,--folder", options.folder,
                   "Folder holding genom.gen and the statistics files (default: the working "
                   "folder)")
        ->check(someName("-C", "a folder"));
    CLI::Option* ticksOption =
        app.add_option("--ticks", ticks, "Number of ticks to run (default: until Ctrl+C)")
            ->check(wholeNumber("--ticks", 0, kHuge, whole));
    CLI::Option* untilOption =
        app.add_option("--until", until, "Run until the evolution's tick counter reaches TICK")
            ->check(wholeNumber("--until", 0, kHuge, whole));
    CLI::Option* seedOption =
        app.add_option("--seed", seed,
                       "Start state of the random source of a new evolution (default 1); an "
                       "evolution with its sidecar continues its own random state")
            ->check(wholeNumber("--seed", 0, 4294967295LL, "a whole number from 0 to 4294967295"));
    CLI::Option* predatorsOption =
        app.add_option("--predators", predators,
                       "Number of Predators, 1-40: the start count of a new evolution, or "
                       "reached one per tick")
            ->check(
                wholeNumber("--predators", 1, kav::kMaxPredators, "a whole number from 1 to 40"));
    CLI::Option* preyOption =
        app.add_option("--prey", prey, "Number of Prey, 1-200, likewise")
            ->check(wholeNumber("--prey", 1, kav::kMaxPrey, "a whole number from 1 to 200"));
    app.add_option("--log", options.logFile,
                   "Append a CSV row per report to this file (relative to the working folder)")
        ->check(someName("--log", "a file name"));
    app.add_option("--log-every", options.logEvery,
                   "Ticks between log rows, a multiple of 200 (default 200)")
        ->check(wholeNumber("--log-every", 200, kHuge, "a whole multiple of 200 ticks", 200));
    app.add_option("--save-every", options.saveEvery,
                   "Save genom.gen, its sidecar and the log every N ticks (default 100000; 0: "
                   "at the end only)")
        ->check(wholeNumber("--save-every", 0, kHuge, whole));
    app.add_option("--dump", options.dumpFile,
                   "After the run, write every Agent slot to this CSV file")
        ->check(someName("--dump", "a file name"));
    app.add_option("--progress", progress,
                   "When stderr is not a terminal, a progress line every SECONDS (default 60; 0: "
                   "none)")
        ->check(wholeNumber("--progress", 0, 100'000'000, whole));
    app.add_option(
           "--vector", vector,
           std::string("The vector unit of the world step: scalar, sse2, avx2 or avx512 (default: "
                       "the widest this machine runs, here ") +
               kav::nameOf(kav::widestVectorPath()) + "); every one gives the same results")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                for (kav::VectorPath path : kav::kVectorPaths)
                    if (text == kav::nameOf(path)) {
                        if (kav::canRun(path)) return {};
                        if (refusal.empty())
                            refusal = "--vector " + text +
                                      ": this processor cannot run it (the widest it runs is " +
                                      kav::nameOf(kav::widestVectorPath()) + ")";
                        return refusal;
                    }
                if (refusal.empty())
                    refusal =
                        "--vector must be scalar, sse2, avx2 or avx512 (not \"" + text + "\")";
                return refusal;
            },
            "sse2|avx2|avx512"));
    app.add_option("--set", sets,
                   "Set a model parameter, NAME=VALUE (repeatable; see --list-params): the model "
                   "of a new evolution, or a change from the current tick of a resumed one")
        ->check(someName("--set", "NAME=VALUE"))
        ->allow_extra_args(false);
    app.add_option("--params", paramsFile,
                   "Model parameters from a TOML file (NAME = VALUE, or tables); --set wins")
        ->check(someName("--params", "a file name"));
    app.add_option("--archive-every", options.archiveEvery,
                   "Keep a snapshot of both populations every N ticks in the folder's archive/ "
                   "(genom-TICK.gen, 60 KB each: 1,000,000 ticks at 10000 take 6 MB; default 0: "
                   "none)")
        ->check(wholeNumber("--archive-every", 0, kHuge, whole));
    CLI::Option* listOption =
        app.add_option("--list-params", listFormat,
                       "Print every model parameter (name, default, range, unit, meaning) and "
                       "exit; --list-params json prints them as JSON")
            ->expected(0, 1)
            ->check(CLI::IsMember({"json", "text"}));
    app.add_flag("--check", checkOnly,
                 "Check the options and parameters and exit (0: they would run); writes nothing");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (!refusal.empty()) {
            std::fprintf(stderr, "kavrosa-evolve: %s\n", refusal.c_str());
            return 2;
        }
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }
    if (listOption->count() > 0) {
        std::fputs(kav::parameterList(listFormat == "json").c_str(), stdout);
        return 0;
    }
    options.parameters.file = paramsFile;
    options.parameters.sets = sets;
    std::string why;
    if (!kav::applyParameters(options.newSettings, options.parameters, why)) {
        std::fprintf(stderr, "kavrosa-evolve: %s\n", why.c_str());
        return 2;
    }
    if (ticksOption->count() > 0) options.ticks = ticks;
    if (untilOption->count() > 0) options.untilTick = until;
    if (options.ticks && options.untilTick) {
        std::fprintf(stderr, "kavrosa-evolve: give --ticks or --until, not both\n");
        return 2;
    }
    if (seedOption->count() > 0) options.seed = seed;
    if (predatorsOption->count() > 0) options.predators = predators;
    if (preyOption->count() > 0) options.prey = prey;
    options.progressSeconds = double(progress);
    for (kav::VectorPath path : kav::kVectorPaths)
        if (!vector.empty() && vector == kav::nameOf(path)) options.vectorPath = path;

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
    std::vector<std::pair<std::string, std::filesystem::path>> outputs;
    if (!options.logFile.empty()) outputs.emplace_back("--log", options.logFile);
    if (!options.dumpFile.empty()) outputs.emplace_back("--dump", options.dumpFile);
    const std::string clash =
        kav::outputClash(options.folder.empty() ? "." : options.folder, outputs);
    if (!clash.empty()) {
        std::fprintf(stderr, "kavrosa-evolve: %s\n", clash.c_str());
        return 2;
    }

    if (checkOnly) return 0;

    for (int i = 1; i < argc; ++i) {
        if (i > 1) options.arguments += ' ';
        options.arguments += argv[i];
    }
    options.terminal = ::isatty(STDERR_FILENO) != 0;
    return kav::runEvolve(options);
}
