// Prints where the window program, started in the given folder, draws Predator 0 and
// Prey 0 right after its first tick: "predator X Y" and "prey X Y" in root-window
// pixels for an 800 x 600 client area at (100, 100). With a Genome file of zero
// weights nothing moves, so the picture keeps these places.
#include <cstdio>

#include "evo/population.h"
#include "io/genome_file.h"
#include "render/pose.h"
#include "render/transforms.h"

namespace {
kav::Population population;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const kav::LoadedGenomes loaded = kav::GenomeFile(argv[1]).load();
    population.setupStandard(loaded.evolution ? &*loaded.evolution : nullptr);
    population.runTick();
    const kav::Arena arena = population.world.settings.arena;
    const auto print = [](const char* kind, const kav::DrawnPose& pose) {
        const glm::vec2 p = kav::projectToClient({pose.x, pose.y, 0.0f}, 800, 600);
        std::printf("%s %.2f %.2f\n", kind, 100.0 + p.x, 100.0 + p.y);
    };
    print("predator", kav::predatorPose(population.world.predators[0], 0.0f, arena));
    print("prey", kav::preyPose(population.world.prey[0], 0.0f, arena));
    return 0;
}
