#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "io/genome_file.h"
#include "test_files.h"
#include "test_world.h"

namespace kav {
namespace {

using testing::bitsOf;
using testing::readBytes;
using testing::standardWorld;
using testing::TempFolder;

std::uint32_t le32(const unsigned char* b) {
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

TEST(GenomeFile, LayoutIsLittleEndianSlotBySlot) {
    auto world = standardWorld();
    world->world.predatorGenomes[0][0] = 1.0f;     // 0x3F800000
    world->world.predatorGenomes[39][62] = -2.5f;  // last Predator weight
    world->world.preyGenomes[0][0] = 0.15625f;     // first Prey weight at 10,080
    world->world.tick = 0x0102030405060708LL;
    world->world.predatorCount = 25;
    world->world.preyCount = 180;
    const GenomeFileBytes bytes = encodeGenomeFile(world->savedEvolution());

    ASSERT_EQ(bytes.size(), 60496u);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[3], 0x3F);
    EXPECT_EQ(le32(&bytes[0]), bitsOf(1.0f));
    EXPECT_EQ(le32(&bytes[39 * 252 + 62 * 4]), bitsOf(-2.5f));
    EXPECT_EQ(le32(&bytes[10080]), bitsOf(0.15625f));
    EXPECT_EQ(le32(&bytes[60480]), 0x05060708u);
    EXPECT_EQ(le32(&bytes[60484]), 0x01020304u);
    EXPECT_EQ(le32(&bytes[60488]), 25u);
    EXPECT_EQ(le32(&bytes[60492]), 180u);
}

TEST(GenomeFile, SaveThenLoadGivesBackEveryBit) {
    TempFolder folder("roundtrip");
    auto first = standardWorld(11);
    first->world.predatorGenomes[3][4] = -0.0f;
    first->world.preyGenomes[7][8] = std::numeric_limits<float>::denorm_min();
    first->world.preyGenomes[9][10] = 3.0e38f;
    first->world.tick = 123456789012LL;
    first->world.predatorCount = 25;
    first->world.preyCount = 180;
    ASSERT_TRUE(GenomeFile(folder.path).save(first->savedEvolution()));
    EXPECT_EQ(readBytes(folder / "genom.gen").size(), 60496u);
    EXPECT_FALSE(std::filesystem::exists(folder / "genom.gen.tmp"));

    ::testing::internal::CaptureStderr();
    const LoadedGenomes loaded = GenomeFile(folder.path).load();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(loaded.status, GenomeLoad::loaded);
    auto second = standardWorld(99, &*loaded.evolution);
    EXPECT_EQ(second->world.tick, 123456789012LL);
    EXPECT_EQ(second->world.predatorCount, 25);
    EXPECT_EQ(second->world.preyCount, 180);
    for (int k = 0; k < kMaxPrey; ++k) EXPECT_EQ(second->world.preyRanks[k], k);
    for (int s = 0; s < kMaxPredators; ++s)
        for (int g = 0; g < kGenomeSize; ++g)
            ASSERT_EQ(bitsOf(second->world.predatorGenomes[s][g]),
                      bitsOf(first->world.predatorGenomes[s][g]));
    for (int s = 0; s < kMaxPrey; ++s)
        for (int g = 0; g < kGenomeSize; ++g)
            ASSERT_EQ(bitsOf(second->world.preyGenomes[s][g]),
                      bitsOf(first->world.preyGenomes[s][g]));
    // A saved evolution draws nothing: only the 720 start-up draws happened after the seed.
    Random replay(99);
    for (int i = 0; i < 720; ++i) replay.next();
    EXPECT_EQ(second->world.random.state(), replay.state());
}

TEST(GenomeFile, DecodeRefusesShortBytesAndClampsCounts) {
    auto world = standardWorld();
    world->world.tick = 5000;
    GenomeFileBytes bytes = encodeGenomeFile(world->savedEvolution());

    const DecodedGenomeFile shortFile = decodeGenomeFile(bytes.data(), 60000, "genom.gen");
    EXPECT_FALSE(shortFile.evolution);
    ASSERT_EQ(shortFile.notes.size(), 1u);
    EXPECT_NE(shortFile.notes[0].find("genom.gen is 60000 bytes long"), std::string::npos)
        << shortFile.notes[0];
    EXPECT_FALSE(decodeGenomeFile(bytes.data(), kGenomeFileSize - 1, "x").evolution);

    const auto put = [&](std::size_t at, std::int32_t value) {
        for (int b = 0; b < 4; ++b)
            bytes[at + b] = static_cast<unsigned char>(std::uint32_t(value) >> (8 * b));
    };
    put(60488, 0);
    put(60492, 1000);
    const DecodedGenomeFile clamped = decodeGenomeFile(bytes.data(), bytes.size(), "genom.gen");
    ASSERT_TRUE(clamped.evolution);
    EXPECT_EQ(clamped.evolution->predatorCount, 1);
    EXPECT_EQ(clamped.evolution->preyCount, 200);
    EXPECT_EQ(clamped.evolution->tick, 5000);
    ASSERT_EQ(clamped.notes.size(), 1u);
    EXPECT_NE(clamped.notes[0].find("0 Predators and 1000 Prey"), std::string::npos);

    auto one = standardWorld(1, &*clamped.evolution);
    for (int t = 0; t < 50; ++t) one->runTick();
    EXPECT_EQ(one->world.predatorCount, 1);
}

// A refused file starts the evolution anew, exactly as a start without a file.
TEST(GenomeFile, RefusedFileGivesTheRandomStart) {
    TempFolder folder("short");
    const std::vector<unsigned char> shortBytes(100, 0x41);
    ASSERT_TRUE(testing::writeBytes(folder / "genom.gen", shortBytes));
    GenomeFile store(folder.path);
    ::testing::internal::CaptureStderr();
    const LoadedGenomes loaded = store.load();
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(loaded.status, GenomeLoad::rejected);
    EXPECT_FALSE(loaded.evolution);
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    auto world = standardWorld(1, nullptr);
    EXPECT_EQ(world->world.tick, 0);
    EXPECT_EQ(world->world.predatorCount, 10);
    EXPECT_EQ(world->world.preyCount, 150);
    // Nothing is lost until the next save: the short file is still there.
    EXPECT_EQ(readBytes(folder / "genom.gen"), shortBytes);
}

}  // namespace
}  // namespace kav
