// libFuzzer target: any bytes as genom.gen. The world is set up from them, runs a few
// dozen ticks with the invariants checked after each, is saved, and the saved file is
// loaded again into a second world, which must hold exactly what was saved.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include "evo/invariants.h"
#include "evo/population.h"

namespace {

std::filesystem::path folder;
int reportFd = 2;  // stderr as it was before libFuzzer closed it (-close_fd_mask=2)

[[noreturn]] void fail(const std::string& what) {
    ::dprintf(reportFd, "genome_fuzz: %s\n", what.c_str());
    std::abort();
}

std::vector<unsigned char> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/kavrosa-fuzz-XXXXXX";
    if (!::mkdtemp(pattern)) fail("cannot make a temporary folder");
    folder = pattern;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    });
    // The program's one-line messages about odd files come by the thousand; the runner
    // closes stderr for them, so failures of this target go to a copy made here.
    const int copy = ::dup(2);
    if (copy >= 0) reportFd = copy;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path genomeFile = folder / kav::kGenomeFileName;
    {
        std::ofstream out(genomeFile, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
        if (!out) fail("cannot write the input");
    }

    auto world = std::make_unique<kav::Population>();
    world->folder = folder;
    world->setupStandard();
    std::string failure = kav::checkInvariants(*world);
    if (!failure.empty()) fail("after setup: " + failure);

    // Size changes steered by the byte after the file's 60,496, if there is one.
    const unsigned steer = size > std::size_t(kav::kGenomeFileSize) ? data[kav::kGenomeFileSize] : 0;
    for (int t = 0; t < 30; ++t) {
        if ((steer & 1) && t % 4 == 0 && world->predatorCount < kav::kMaxPredators)
            world->requestSizeChange(true, true);
        if ((steer & 2) && t % 3 == 0) world->requestSizeChange(false, true);
        if ((steer & 4) && t % 2 == 0 && world->preyCount < kav::kMaxPrey)
            world->requestSizeChange(true, false);
        if ((steer & 8) && t % 5 == 0) world->requestSizeChange(false, false);
        world->runTick();
        failure = kav::checkInvariants(*world);
        if (!failure.empty()) fail("after tick " + std::to_string(world->tick) + ": " + failure);
    }

    // A refused input is kept aside by the save; no such file may be left over for the
    // next input.
    std::error_code ignored;
    if (!world->saveGenomes()) fail("the save failed");
    std::filesystem::remove(folder / "genom.gen.rejected", ignored);

    const kav::GenomeFileBytes expected = kav::encodeGenomeFile(*world);
    const std::vector<unsigned char> saved = readFile(genomeFile);
    if (saved.size() != expected.size() ||
        std::memcmp(saved.data(), expected.data(), expected.size()) != 0)
        fail("the saved file differs from the world's bytes");

    auto again = std::make_unique<kav::Population>();
    again->folder = folder;
    if (again->loadGenomes() != kav::GenomeLoad::loaded) fail("the saved file was not loaded");
    const kav::GenomeFileBytes reloaded = kav::encodeGenomeFile(*again);
    if (std::memcmp(reloaded.data(), expected.data(), expected.size()) != 0)
        fail("save then load changed the Genomes, the tick or the counts");
    if (again->tick != world->tick || again->predatorCount != world->predatorCount ||
        again->preyCount != world->preyCount)
        fail("save then load changed the tick or the counts");
    for (int i = 0; i < kav::kMaxPredators; ++i)
        if (std::memcmp(again->predatorGenomes[i].data(), world->predatorGenomes[i].data(),
                        sizeof(float) * kav::kGenomeSize) != 0)
            fail("Predator Genome " + std::to_string(i) + " changed bits");
    for (int i = 0; i < kav::kMaxPrey; ++i)
        if (std::memcmp(again->preyGenomes[i].data(), world->preyGenomes[i].data(),
                        sizeof(float) * kav::kGenomeSize) != 0)
            fail("Prey Genome " + std::to_string(i) + " changed bits");
    return 0;
}
