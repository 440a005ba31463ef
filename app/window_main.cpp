// The window program: one window showing the arena, the simulation advancing in every
// idle moment in one of three run modes, keys for the modes and the population sizes,
// a panel that watches the evolution, and the Genomes saved when the window is closed
// (and every few minutes).
#include <clocale>
#include <csignal>

#include "app/window_app.h"
#include "app/window_options.h"
#include "evo/population.h"

namespace {

// The world lives for the whole program.
kav::Population population;

}  // namespace

int main(int argc, char** argv) {
    const kav::ParsedWindowOptions parsed = kav::parseWindowOptions(argc, argv);
    if (!parsed.run) return parsed.exitStatus;

    // SDL turns SIGINT and SIGTERM into a quit event, which saves the Genomes, but only
    // for signals left at their default action; a background job starts with SIGINT
    // ignored.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);

    // The title holds a dash and dots beyond ASCII; the window system takes them as
    // UTF-8 only in a UTF-8 locale. Only the character type is set: numbers and
    // messages stay as in the "C" locale.
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::setlocale(LC_CTYPE, "");

    static kav::WindowApp app(population, parsed.options);
    return app.run();
}
