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

// The world the programs would set up from genom.gen: the standard one, at the counts
// of a new evolution (those of the seeds).
const kav::Population& blank() {
    static const auto world = [] {
        auto w = std::make_unique<kav::Population>();
        w->setupStandard();
        return w;
    }();
    return *world;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const kav::WorldState state = blank().worldState();
    std::string why;
    const auto sidecar = kav::decodeSidecar(text, state, why);
    if (!sidecar) {
        if (why.empty() || why.find('\n') != std::string::npos) fail("refused without one line");
        return 0;
    }
    const std::string encoded = kav::encodeSidecar(*sidecar);
    const auto again = kav::decodeSidecar(encoded, state, why);
    if (!again) fail("its own encoding is refused: " + why);
    if (kav::encodeSidecar(*again) != encoded) fail("decoding the encoded sidecar changed it");

    if (!kav::checkSidecarWorld(sidecar->world, blank().world.predatorCount,
                                blank().world.preyCount, sidecar->settings.arena)
             .empty())
        return 0;
    auto world = std::make_unique<kav::Population>();
    const kav::SavedEvolution saved = blank().savedEvolution();
    world->setup(sidecar->settings, 10, 150, &saved);
    world->restoreWorldState(sidecar->world);
    const std::string failure = kav::checkInvariants(*world);
    if (!failure.empty()) fail("an accepted sidecar breaks the invariants: " + failure);
    static unsigned calls = 0;
    if (calls++ % kTickedOneIn != 0) return 0;
    for (int t = 0; t < kTicks; ++t) {
        world->runTick();
        const std::string broken = kav::checkInvariants(*world);
        if (!broken.empty())
            fail("after tick " + std::to_string(world->world.tick) + ": " + broken);
    }
    return 0;
}
