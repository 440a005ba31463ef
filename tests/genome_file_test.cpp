#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#include "evo/population.h"
#include "test_world.h"

namespace kav {
namespace {

using testing::bitsOf;
using testing::standardWorld;
using testing::TempFolder;

std::vector<unsigned char> readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::uint32_t le32(const std::vector<unsigned char>& b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

TEST(GenomeFile, LayoutIsLittleEndianSlotBySlot) {
    TempFolder folder("layout");
    auto world = standardWorld(folder.path);
    world->predatorGenomes[0][0] = 1.0f;         // 0x3F800000
    world->predatorGenomes[39][62] = -2.5f;      // last Predator weight
    world->preyGenomes[0][0] = 0.15625f;         // first Prey weight at 10,080
    world->tick = 0x0102030405060708LL;
    world->predatorCount = 25;
    world->preyCount = 180;
    ASSERT_TRUE(world->saveGenomes());

    const auto bytes = readAll(folder / "genom.gen");
    ASSERT_EQ(bytes.size(), 60496u);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[3], 0x3F);
    EXPECT_EQ(le32(bytes, 0), bitsOf(1.0f));
    EXPECT_EQ(le32(bytes, 39 * 252 + 62 * 4), bitsOf(-2.5f));
    EXPECT_EQ(le32(bytes, 10080), bitsOf(0.15625f));
    EXPECT_EQ(le32(bytes, 60480), 0x05060708u);
    EXPECT_EQ(le32(bytes, 60484), 0x01020304u);
    EXPECT_EQ(le32(bytes, 60488), 25u);
    EXPECT_EQ(le32(bytes, 60492), 180u);
    EXPECT_FALSE(std::filesystem::exists(folder / "genom.gen.tmp"));
}

TEST(GenomeFile, SaveThenLoadGivesBackEveryBit) {
    TempFolder folder("roundtrip");
    auto first = standardWorld(folder.path, 11);
    first->predatorGenomes[3][4] = -0.0f;
    first->preyGenomes[7][8] = std::numeric_limits<float>::denorm_min();
    first->preyGenomes[9][10] = 3.0e38f;
    first->tick = 123456789012LL;
    first->predatorCount = 25;
    first->preyCount = 180;
    ASSERT_TRUE(first->saveGenomes());

    ::testing::internal::CaptureStderr();
    auto second = standardWorld(folder.path, 99);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(second->tick, 123456789012LL);
    EXPECT_EQ(second->predatorCount, 25);
    EXPECT_EQ(second->preyCount, 180);
    for (int k = 0; k < kMaxPrey; ++k) EXPECT_EQ(second->preyRanks[k], k);
    for (int s = 0; s < kMaxPredators; ++s)
        for (int g = 0; g < kGenomeSize; ++g)
            ASSERT_EQ(bitsOf(second->predatorGenomes[s][g]), bitsOf(first->predatorGenomes[s][g]));
    for (int s = 0; s < kMaxPrey; ++s)
        for (int g = 0; g < kGenomeSize; ++g)
            ASSERT_EQ(bitsOf(second->preyGenomes[s][g]), bitsOf(first->preyGenomes[s][g]));
    // A load draws nothing: only the 720 start-up draws happened after the seed.
    Random replay(99);
    for (int i = 0; i < 720; ++i) replay.next();
    EXPECT_EQ(second->random.state(), replay.state());
}

TEST(GenomeFile, ShortFileIsRefusedWithAMessage) {
    TempFolder folder("short");
    {
        auto world = standardWorld(folder.path);
        world->tick = 5000;
        world->predatorCount = 30;
        ASSERT_TRUE(world->saveGenomes());
    }
    auto bytes = readAll(folder / "genom.gen");
    bytes.resize(60000);
    writeAll(folder / "genom.gen", bytes);

    ::testing::internal::CaptureStderr();
    auto world = standardWorld(folder.path);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("genom.gen"), std::string::npos) << message;
    EXPECT_NE(message.find("60000"), std::string::npos) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1);
    EXPECT_EQ(world->tick, 0);
    EXPECT_EQ(world->predatorCount, 10);
    EXPECT_EQ(world->preyCount, 150);
    // Random weights, exactly as a start without a file.
    TempFolder empty("short-empty");
    auto fresh = standardWorld(empty.path);
    EXPECT_EQ(world->preyGenomes, fresh->preyGenomes);
    EXPECT_EQ(world->predatorGenomes, fresh->predatorGenomes);
    // Nothing is lost until the next save: the short file is still there.
    EXPECT_EQ(std::filesystem::file_size(folder / "genom.gen"), 60000u);
}

TEST(GenomeFile, CountsOutOfRangeAreClampedWithAMessage) {
    TempFolder folder("counts");
    {
        auto world = standardWorld(folder.path);
        ASSERT_TRUE(world->saveGenomes());
    }
    auto bytes = readAll(folder / "genom.gen");
    const auto put = [&](std::size_t at, std::int32_t value) {
        for (int b = 0; b < 4; ++b) bytes[at + b] = static_cast<unsigned char>(std::uint32_t(value) >> (8 * b));
    };
    put(60488, 1000);
    put(60492, -3);
    writeAll(folder / "genom.gen", bytes);
    ::testing::internal::CaptureStderr();
    auto world = standardWorld(folder.path);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(world->predatorCount, 40);
    EXPECT_EQ(world->preyCount, 1);
    EXPECT_NE(message.find("1000"), std::string::npos) << message;
    for (int t = 0; t < 50; ++t) world->runTick();
    EXPECT_EQ(world->preyCount, 1);
}

TEST(GenomeFile, FailedSaveKeepsThePreviousFile) {
    TempFolder folder("fullsave");
    auto world = standardWorld(folder.path);
    ASSERT_TRUE(world->saveGenomes());
    const auto before = readAll(folder / "genom.gen");

    world->tick = 777;
    world->preyGenomes[0][0] = 42.0f;
    // The temporary file leads to a device that is always full.
    std::filesystem::create_symlink("/dev/full", folder / "genom.gen.tmp");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(world->saveGenomes());
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("failed"), std::string::npos) << message;
    EXPECT_EQ(readAll(folder / "genom.gen"), before);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(folder / "genom.gen.tmp")));

    // A folder in the way of the temporary file fails the save the same way.
    std::filesystem::create_directory(folder / "genom.gen.tmp");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(world->saveGenomes());
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(readAll(folder / "genom.gen"), before);
}

}  // namespace
}  // namespace kav
