// kavrosa-evolve: the headless evolution, at full speed, on the same Genome file and
// statistics files as the window program.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "app/evolve.h"

int main(int argc, char** argv) {
    CLI::App app{"Runs the Kavrosa evolution without a window, as fast as the machine allows.\n"
                 "Reads and writes genom.gen and the statistics files (ivklsiker.txt,\n"
                 "AiTesztE.txt, AiTesztM.txt, written only if they exist) in the folder.",
                 "kavrosa-evolve"};
    kav::EvolveOptions options;
    std::uint64_t ticks = 0;
    app.add_option("-C,--folder", options.folder,
                   "Folder holding genom.gen and the statistics files (default: the working "
                   "folder)");
    auto* ticksOption =
        app.add_option("--ticks", ticks, "Number of ticks to run (default: until Ctrl+C)")
            ->check(CLI::NonNegativeNumber);
    app.add_option("--seed", options.seed, "Start state of the random source (default 1)");
    app.add_option("--dump", options.dumpFile,
                   "After the run, write every Agent slot to this CSV file");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }
    if (ticksOption->count() > 0) options.ticks = ticks;

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
    options.progress = ::isatty(STDERR_FILENO) != 0;
    return kav::runEvolve(options);
}
