// libFuzzer target: any bytes as a sidecar (genom.gen.json). What decodes must encode
// and decode again to the same text; what also fits the counts of the world it is given
// with must set up a world whose invariants hold, as the programs load it. For one call
// in 1,024 that world also runs a few dozen ticks with the invariants checked after each.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "evo/invariants.h"
#include "evo/population.h"
#include "io/sidecar.h"

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "sidecar_fuzz: %s\n", what.c_str());
    std::abort();
}

constexpr unsigned kTickedOneIn = 1024;
constexpr int kTicks = 24;

// What is the same for every input, built once: the world the programs would set up
// from genom.gen (the standard one, at the counts of a new evolution, those of the seeds),
// the state decodeSidecar takes the slot properties from, and a Population that each
// accepted input is loaded into afresh from that world.
struct Fixture {
    kav::WorldState state;
    int predatorCount = 0;
    int preyCount = 0;
    kav::World loaded;
    std::unique_ptr<kav::Population> trial = std::make_unique<kav::Population>();

    Fixture() {
        auto blank = std::make_unique<kav::Population>();
        blank->setupStandard();
        state = blank->worldState();
        predatorCount = blank->world.predatorCount;
        preyCount = blank->world.preyCount;
        const kav::SavedEvolution saved = blank->savedEvolution();
        trial->setupStandard(&saved);
        loaded = trial->world;
    }

    // The trial Population as a program leaves it right after setting up from genom.gen:
    // the loaded world, and no captures from a step it has not run.
    kav::Population& freshTrial() {
        trial->world = loaded;
        trial->step.captures.clear();
        return *trial;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fixture& f = fixture();
    static std::string text;  // keeps its buffer from call to call
    text.assign(reinterpret_cast<const char*>(data), size);
    std::string why;
    const auto sidecar = kav::decodeSidecar(text, f.state, why);
    if (!sidecar) {
        if (why.empty() || why.find('\n') != std::string::npos) fail("refused without one line");
        return 0;
    }
    const std::string encoded = kav::encodeSidecar(*sidecar);
    const auto again = kav::decodeSidecar(encoded, f.state, why);
    if (!again) fail("its own encoding is refused: " + why);
    if (kav::encodeSidecar(*again) != encoded) fail("decoding the encoded sidecar changed it");

    if (!kav::checkSidecarWorld(sidecar->world, f.predatorCount, f.preyCount,
                                sidecar->settings.arena)
             .empty())
        return 0;
    kav::Population& world = f.freshTrial();
    kav::changeSettings(world.world, sidecar->settings);
    world.restoreWorldState(sidecar->world);
    const std::string failure = kav::checkInvariants(world);
    if (!failure.empty()) fail("an accepted sidecar breaks the invariants: " + failure);
    static unsigned calls = 0;
    if (calls++ % kTickedOneIn != 0) return 0;
    for (int t = 0; t < kTicks; ++t) {
        world.runTick();
        const std::string broken = kav::checkInvariants(world);
        if (!broken.empty()) fail("after tick " + std::to_string(world.world.tick) + ": " + broken);
    }
    return 0;
}
