// libFuzzer target: any bytes as a Genome file. The bytes are decoded in memory; what
// decodes is encoded again and must give back the same bytes, and a world set up from
// it must hold the decoded Genomes, tick and counts with its invariants intact. For a
// few inputs in a hundred the world also runs a few dozen ticks (steered by the byte
// after the file's 60,496) with the invariants checked after each: those ticks cost far
// more than the decoding, so running them for every input would starve the search.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "evo/invariants.h"
#include "evo/population.h"
#include "io/genome_file.h"

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "genome_fuzz: %s\n", what.c_str());
    std::abort();
}

// One call in this many runs ticks: the first call and every 1024th after it. A crash
// file replays as a first call, so it runs the ticks again.
constexpr unsigned kTickedOneIn = 1024;
constexpr int kTicks = 24;
// One input in this many sets up a world from what it decoded; chosen by the bytes.
constexpr unsigned kBuiltOneIn = 4;

unsigned mix(const std::uint8_t* data, std::size_t size) {
    unsigned h = static_cast<unsigned>(size) * 2654435761u;
    for (std::size_t i = 0; i < size; i += 997) h = (h ^ data[i]) * 16777619u;
    return h;
}

void runTicks(kav::Population& world, unsigned steer) {
    for (int t = 0; t < kTicks; ++t) {
        if ((steer & 1) && t % 4 == 0 && world.world.predatorCount < kav::kMaxPredators)
            world.requestSizeChange(true, true);
        if ((steer & 2) && t % 3 == 0) world.requestSizeChange(false, true);
        if ((steer & 4) && t % 2 == 0 && world.world.preyCount < kav::kMaxPrey)
            world.requestSizeChange(true, false);
        if ((steer & 8) && t % 5 == 0) world.requestSizeChange(false, false);
        world.runTick();
        const std::string failure = kav::checkInvariants(world);
        if (!failure.empty())
            fail("after tick " + std::to_string(world.world.tick) + ": " + failure);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const kav::DecodedGenomeFile decoded = kav::decodeGenomeFile(data, size, "input");
    if (decoded.evolution.has_value() != (size >= std::size_t(kav::kGenomeFileSize)))
        fail("a file of " + std::to_string(size) + " bytes was " +
             (decoded.evolution ? "accepted" : "refused"));
    static unsigned calls = 0;
    const bool ticked = calls++ % kTickedOneIn == 0;
    const bool built = ticked || mix(data, size) % kBuiltOneIn == 0;

    if (decoded.evolution) {
        const kav::SavedEvolution& saved = *decoded.evolution;
        if (saved.predatorCount < 1 || saved.predatorCount > kav::kMaxPredators ||
            saved.preyCount < 1 || saved.preyCount > kav::kMaxPrey)
            fail("counts out of range after decoding");
        // Every byte but the clamped counts comes back.
        const kav::GenomeFileBytes again = kav::encodeGenomeFile(saved);
        if (std::memcmp(again.data(), data, kav::kGenomeBlockSize + 8) != 0)
            fail("encoding the decoded file changed the Genomes or the tick");
        const kav::DecodedGenomeFile twice =
            kav::decodeGenomeFile(again.data(), again.size(), "again");
        if (!twice.evolution || kav::encodeGenomeFile(*twice.evolution) != again)
            fail("decoding the encoded file changed it");
    }

    if (!built) return 0;
    auto world = std::make_unique<kav::Population>();
    world->setupStandard(decoded.evolution ? &*decoded.evolution : nullptr);
    std::string failure = kav::checkInvariants(*world);
    if (!failure.empty()) fail("after setup: " + failure);
    if (decoded.evolution) {
        const kav::SavedEvolution held = world->savedEvolution();
        if (kav::encodeGenomeFile(held) != kav::encodeGenomeFile(*decoded.evolution))
            fail("the world does not hold the decoded Genomes, tick and counts");
    }
    if (ticked)
        runTicks(*world, size > std::size_t(kav::kGenomeFileSize) ? data[kav::kGenomeFileSize] : 0);
    return 0;
}
