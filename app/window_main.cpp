// The window program: one window showing the arena, the simulation advancing in every
// idle moment in one of three run modes, keys for the modes and the population sizes,
// a panel that watches the evolution, and the Genomes saved when the window is closed
// (and every few minutes). With --movie, a movie of the next ticks instead, drawn
// offscreen.
#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>

#include "app/movie_mode.h"
#include "app/window_app.h"
#include "app/window_options.h"
#include "evo/population.h"
#include "io/run_folder.h"

namespace {

// The world lives for the whole program.
kav::Population population;

// A closed terminal or ssh session ends the program as SIGTERM does: SDL's handler of
// SIGTERM turns it into the quit event, which saves.
extern "C" void hangUp(int) { std::raise(SIGTERM); }

}  // namespace

int main(int argc, char** argv) {
    const kav::ParsedWindowOptions parsed = kav::parseWindowOptions(argc, argv);
    if (!parsed.run) return parsed.exitStatus;
    // The log must not be one of the folder's own files.
    const std::string clash =
        kav::outputClash(parsed.options.folder.empty() ? "." : parsed.options.folder,
                         {{"--log", parsed.options.logFile}});
    if (!parsed.options.logFile.empty() && !clash.empty()) {
        std::fprintf(stderr, "kavrosa: %s\n", clash.c_str());
        return 2;
    }

    if (!parsed.options.movieFile.empty()) return kav::makeMovie(population, parsed.options);

    // SDL turns SIGINT and SIGTERM into a quit event, which saves the Genomes, but only
    // for signals left at their default action; a background job starts with SIGINT
    // ignored.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, hangUp);

    // The title holds a dash and dots beyond ASCII; the window system takes them as
    // UTF-8 only in a UTF-8 locale. Only the character type is set: numbers and
    // messages stay as in the "C" locale.
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::setlocale(LC_CTYPE, "");

    static kav::WindowApp app(population, parsed.options);
    return app.run();
}
