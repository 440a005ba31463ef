#include "app/window_options.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "io/run_folder.h"

namespace kav {

namespace {

// Why the movie's options cannot be used; empty when they can (or none was given). The
// movie's size is set from `sizeText` when given.
std::string checkMovieOptions(WindowOptions& options, bool movieGiven, bool ticks, bool size,
                              const std::string& sizeText, bool savingOptions) {
    if (!movieGiven) {
        if (ticks) return "--ticks is for --movie; the window runs until it is closed";
        if (size) return "--movie-size is for --movie";
        return {};
    }
    if (!ticks) return "--movie needs --ticks N, the number of ticks it shows";
    if (savingOptions)
        return "--movie writes nothing but the movie: --log, --autosave and --archive-every do "
               "not go with it";
    if (size) {
        std::string why;
        const std::optional<MovieSize> parsed = parseMovieSize(sizeText, why);
        if (!parsed) return "--movie-size " + why;
        options.movieSize = *parsed;
    }
    std::error_code error;
    const std::filesystem::path movie = options.movieFile;
    const std::filesystem::path folder = std::filesystem::absolute(movie, error).parent_path();
    if (error || !std::filesystem::is_directory(folder, error))
        return "--movie: the folder of " + movie.string() + " does not exist";
    if (std::filesystem::is_directory(movie, error))
        return "--movie: " + movie.string() + " is a folder; give a file name";
    return outputClash(options.folder.empty() ? "." : options.folder, {{"--movie", movie}});
}

}  // namespace

ParsedWindowOptions parseWindowOptions(int argc, const char* const* argv) {
    CLI::App app{
        "Shows the Kavrosa predator-prey co-evolution in a window. Reads genom.gen\n"
        "from the folder at start and saves it when the window closes; see the\n"
        "keys in the title bar and in the panel (H). Without a display, use\n"
        "kavrosa-evolve, or --movie for a movie of the arena.",
        "kavrosa"};
    ParsedWindowOptions parsed;
    WindowOptions& options = parsed.options;
    app.set_version_flag("--version", std::string("kavrosa ") + programVersion());
    // A path option names something: an empty value is refused, not ignored.
    const CLI::Validator someName(
        [](std::string& text) {
            return text.empty() ? std::string("an empty name") : std::string();
        },
        "PATH");
    app.add_option("-C,--folder", options.folder,
                   "Folder holding genom.gen and the statistics files (default: the working "
                   "folder)")
        ->check(someName);
    app.add_option("--seed", options.seed,
                   "Start state of the random source of a new evolution (default 1)");
    app.add_option("--log", options.logFile,
                   "Append a row of the world's report to this CSV file every 200 ticks")
        ->check(someName);
    app.add_option("--autosave", options.autosaveSeconds,
                   "Save genom.gen every SECONDS while running (default 300, 0 = never)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--set", options.parameters.sets,
                   "Set a model parameter, NAME=VALUE (repeatable; see --list-params): the model "
                   "of a new evolution, or a change from the current tick of a resumed one")
        ->check(someName)
        ->allow_extra_args(false);
    std::string paramsFile;
    app.add_option("--params", paramsFile,
                   "Model parameters from a TOML file (NAME = VALUE, or tables); --set wins")
        ->check(someName);
    app.add_option("--archive-every", options.archiveEvery,
                   "Keep a snapshot of both populations every N ticks in the folder's archive/ "
                   "(genom-TICK.gen, 60 KB each; default 0: none)")
        ->check(CLI::Range(std::int64_t(0), std::int64_t(999'999'999'999'999'999LL)));
    app.add_option("--rewind-memory", options.rewindMemoryMiB,
                   "Memory for going back in time, in MiB: keyframes of the world (133 KB "
                   "each) every 1,000 ticks for the last 100,000, every 5,000 before "
                   "(default 256, 0 = no rewind)")
        ->check(CLI::Range(std::int64_t(0), std::int64_t(1) << 20));
    CLI::Option* movieOption =
        app.add_option("--movie", options.movieFile,
                       "Instead of the window: draw the next N ticks (--ticks) offscreen as the "
                       "normal mode shows them, 6 frames a tick, and encode the 6 x N frames "
                       "(30 a second) with ffmpeg as an H.264 MP4 file. Needs no display; the "
                       "arena only. The folder is read, not changed: the evolution is not saved, "
                       "so the next run makes the same ticks")
            ->check(someName);
    CLI::Option* ticksOption =
        app.add_option("--ticks", options.movieTicks, "Ticks the --movie shows (at least 1)")
            ->check(CLI::Range(std::int64_t(1), std::int64_t(1'000'000'000)));
    std::string movieSize;
    CLI::Option* sizeOption = app.add_option(
        "--movie-size", movieSize, "Frame size of the --movie, WIDTHxHEIGHT (default 800x600)");
    std::string listFormat;
    CLI::Option* listOption =
        app.add_option("--list-params", listFormat,
                       "Print every model parameter (name, default, range, unit, meaning) and "
                       "exit; --list-params json prints them as JSON")
            ->expected(0, 1)
            ->check(CLI::IsMember({"json", "text"}));
    // One line for a refused command line, as for every other refusal.
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return std::string("kavrosa: ") + error.what() + " (see kavrosa --help)\n";
    });
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        parsed.exitStatus = code == 0 ? 0 : 2;
        return parsed;
    }
    if (listOption->count() > 0) {
        std::fputs(parameterList(listFormat == "json").c_str(), stdout);
        return parsed;
    }
    options.parameters.file = paramsFile;
    std::string why;
    if (!applyParameters(options.newSettings, options.parameters, why)) {
        std::fprintf(stderr, "kavrosa: %s\n", why.c_str());
        parsed.exitStatus = 2;
        return parsed;
    }
    if (!options.folder.empty()) {
        std::error_code error;
        if (!std::filesystem::is_directory(options.folder, error)) {
            std::fprintf(stderr, "kavrosa: %s is not a folder\n", options.folder.c_str());
            parsed.exitStatus = 2;
            return parsed;
        }
        if (::access(options.folder.c_str(), R_OK | W_OK | X_OK) != 0) {
            std::fprintf(stderr, "kavrosa: cannot use folder %s: %s\n", options.folder.c_str(),
                         std::strerror(errno));
            parsed.exitStatus = 2;
            return parsed;
        }
    }
    const std::string movieRefusal = checkMovieOptions(
        options, movieOption->count() > 0, ticksOption->count() > 0, sizeOption->count() > 0,
        movieSize, app.count("--log") + app.count("--autosave") + app.count("--archive-every") > 0);
    if (!movieRefusal.empty()) {
        std::fprintf(stderr, "kavrosa: %s\n", movieRefusal.c_str());
        parsed.exitStatus = 2;
        return parsed;
    }
    if (!options.logFile.empty()) {
        std::error_code error;
        const std::filesystem::path logFolder =
            std::filesystem::absolute(options.logFile, error).parent_path();
        if (error || !std::filesystem::is_directory(logFolder, error)) {
            std::fprintf(stderr, "kavrosa: --log: the folder of %s does not exist\n",
                         options.logFile.c_str());
            parsed.exitStatus = 2;
            return parsed;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (i > 1) options.arguments += ' ';
        options.arguments += argv[i];
    }
    parsed.run = true;
    return parsed;
}

}  // namespace kav
