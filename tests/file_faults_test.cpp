// File faults around the Genome file and the statistics files: each gives one clear
// line on stderr, the run goes on, and no evolution already on disk is lost.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "robust_support.h"
#include "test_world.h"

namespace kav::robust {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

constexpr std::int64_t kSavedTick = 123457;

class GenomeFileFaults : public ::testing::Test {
protected:
    TempFolder folder;
    fs::path genomeFile = folder / kGenomeFileName;
    GenomeFile store{folder.path};

    // The bytes of a saved evolution: 25 Predators, 180 Prey, tick 123457.
    GenomeFileBytes savedEvolution() {
        auto source = testing::standardWorld(99);
        source->world.predatorCount = 25;
        source->world.preyCount = 180;
        source->world.tick = kSavedTick;
        return encodeGenomeFile(source->savedEvolution());
    }

    // Loads `genom.gen` into a fresh world and returns what it said on stderr.
    std::string load(std::unique_ptr<Population>& world) {
        CaptureStderr();
        world = worldFrom(store);
        return GetCapturedStderr();
    }

    bool save(const Population& world) { return store.save(world.savedEvolution()); }

    // Expects the random start: 10 Predators, 150 Prey, tick 0, Genomes as without a file.
    void expectNewEvolution(const Population& world) {
        EXPECT_EQ(world.world.predatorCount, 10);
        EXPECT_EQ(world.world.preyCount, 150);
        EXPECT_EQ(world.world.tick, 0);
        EXPECT_EQ(bytesOf(world), bytesOf(*testing::standardWorld()));
    }
};

TEST_F(GenomeFileFaults, FolderInsteadOfFileStartsNewEvolutionAndIsNeverReplaced) {
    fs::create_directory(genomeFile);
    std::unique_ptr<Population> world;
    const std::string said = load(world);
    ASSERT_EQ(lines(said).size(), 1u) << said;
    EXPECT_NE(said.find("folder"), std::string::npos) << said;
    expectNewEvolution(*world);
    ASSERT_TRUE(runChecked(*world, 20));

    CaptureStderr();
    EXPECT_FALSE(save(*world));
    const std::string saveSaid = GetCapturedStderr();
    ASSERT_EQ(lines(saveSaid).size(), 1u) << saveSaid;
    EXPECT_NE(saveSaid.find("failed"), std::string::npos) << saveSaid;
    EXPECT_TRUE(fs::is_directory(genomeFile));
    EXPECT_FALSE(fs::exists(folder / "genom.gen.tmp"));
}

TEST_F(GenomeFileFaults, UnreadableFileIsRefusedAndKeptAside) {
    if (runningAsRoot()) GTEST_SKIP() << "root reads a file whatever its mode";
    const GenomeFileBytes saved = savedEvolution();
    writeBytes(genomeFile, saved.data(), saved.size());
    fs::permissions(genomeFile, fs::perms::none);
    std::unique_ptr<Population> world;
    const std::string said = load(world);
    ASSERT_EQ(lines(said).size(), 1u) << said;
    EXPECT_NE(said.find("Permission denied"), std::string::npos) << said;
    expectNewEvolution(*world);

    // The save keeps the unreadable evolution under another name instead of replacing it.
    CaptureStderr();
    EXPECT_TRUE(save(*world));
    const std::string saveSaid = GetCapturedStderr();
    EXPECT_NE(saveSaid.find("genom.gen.rejected"), std::string::npos) << saveSaid;
    fs::permissions(folder / "genom.gen.rejected", fs::perms::owner_read);
    const auto kept = readBytes(folder / "genom.gen.rejected");
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), saved.begin(), saved.end()));
    EXPECT_EQ(readBytes(genomeFile).size(), std::size_t(kGenomeFileSize));
}

// A read that fails part-way: /proc/self/mem opens but cannot be read at offset 0.
// This works for root too, where file modes do not stop a read.
TEST_F(GenomeFileFaults, ReadErrorStartsNewEvolution) {
    if (!fs::exists("/proc/self/mem")) GTEST_SKIP() << "no /proc on this system";
    fs::create_symlink("/proc/self/mem", genomeFile);
    std::unique_ptr<Population> world;
    const std::string said = load(world);
    ASSERT_EQ(lines(said).size(), 1u) << said;
    EXPECT_NE(said.find("cannot load"), std::string::npos) << said;
    expectNewEvolution(*world);
    ASSERT_TRUE(runChecked(*world, 20));
}

TEST_F(GenomeFileFaults, ShortFilesAreRefusedAndKeptAsideAtSave) {
    const GenomeFileBytes saved = savedEvolution();
    for (std::size_t size : {std::size_t(0), std::size_t(100), std::size_t(kGenomeFileSize - 1)}) {
        SCOPED_TRACE(size);
        std::error_code ignored;
        fs::remove(folder / "genom.gen.rejected", ignored);
        writeBytes(genomeFile, saved.data(), size);
        std::unique_ptr<Population> world;
        const std::string said = load(world);
        ASSERT_EQ(lines(said).size(), 1u) << said;
        EXPECT_NE(said.find(std::to_string(size) + " bytes long"), std::string::npos) << said;
        EXPECT_NE(said.find("60496"), std::string::npos) << said;
        expectNewEvolution(*world);
        ASSERT_TRUE(runChecked(*world, 10));

        CaptureStderr();
        ASSERT_TRUE(save(*world));
        const std::string saveSaid = GetCapturedStderr();
        EXPECT_EQ(lines(saveSaid).size(), 1u) << saveSaid;
        const auto kept = readBytes(folder / "genom.gen.rejected");
        EXPECT_EQ(kept.size(), size);
        EXPECT_TRUE(std::equal(kept.begin(), kept.end(), saved.begin()));
        EXPECT_EQ(readBytes(genomeFile), bytesOf(*world));

        // A later save replaces the new file as usual and leaves the kept one alone.
        ASSERT_TRUE(runChecked(*world, 5));
        CaptureStderr();
        ASSERT_TRUE(save(*world));
        EXPECT_EQ(GetCapturedStderr(), "");
        EXPECT_EQ(readBytes(folder / "genom.gen.rejected").size(), size);
    }
}

TEST_F(GenomeFileFaults, LongerFileIsLoadedAndTheRestIgnored) {
    const GenomeFileBytes saved = savedEvolution();
    std::vector<unsigned char> longer(saved.begin(), saved.end());
    longer.resize(longer.size() + 5000, 0xAB);
    writeBytes(genomeFile, longer.data(), longer.size());
    std::unique_ptr<Population> world;
    const std::string said = load(world);
    ASSERT_EQ(lines(said).size(), 1u) << said;
    EXPECT_NE(said.find("5000 bytes"), std::string::npos) << said;
    EXPECT_NE(said.find("ignored"), std::string::npos) << said;
    EXPECT_EQ(bytesOf(*world), std::vector<unsigned char>(saved.begin(), saved.end()));
    EXPECT_EQ(world->world.predatorCount, 25);
    EXPECT_EQ(world->world.preyCount, 180);
    ASSERT_TRUE(runChecked(*world, 20));
}

TEST_F(GenomeFileFaults, CountsOutOfRangeAreClampedOnce) {
    struct Case {
        std::int32_t predators, prey, wantPredators, wantPrey;
    };
    for (const Case c : {Case{0, 0, 1, 1}, Case{41, 201, 40, 200}, Case{-7, 1000000, 1, 200},
                         Case{std::numeric_limits<std::int32_t>::min(), 150, 1, 150}}) {
        SCOPED_TRACE(::testing::Message() << c.predators << " " << c.prey);
        GenomeFileBytes bytes = savedEvolution();
        std::memcpy(bytes.data() + 60488, &c.predators, 4);  // little-endian host
        std::memcpy(bytes.data() + 60492, &c.prey, 4);
        writeBytes(genomeFile, bytes.data(), bytes.size());
        std::unique_ptr<Population> world;
        const std::string said = load(world);
        ASSERT_EQ(lines(said).size(), 1u) << said;
        EXPECT_NE(said.find(std::to_string(c.predators) + " Predators"), std::string::npos) << said;
        EXPECT_EQ(world->world.predatorCount, c.wantPredators);
        EXPECT_EQ(world->world.preyCount, c.wantPrey);
        EXPECT_EQ(world->world.tick, kSavedTick);
        ASSERT_TRUE(runChecked(*world, 30));
    }
}

// Save through a temporary file that lands on a full disk (/dev/full): the old file
// stays byte for byte, the message names the failure, the temporary file is gone.
TEST_F(GenomeFileFaults, FullDiskAtSaveKeepsThePreviousFile) {
    const GenomeFileBytes saved = savedEvolution();
    writeBytes(genomeFile, saved.data(), saved.size());
    std::unique_ptr<Population> world;
    ASSERT_EQ(load(world), "");
    ASSERT_TRUE(runChecked(*world, 50));

    fs::create_symlink("/dev/full", folder / "genom.gen.tmp");
    CaptureStderr();
    EXPECT_FALSE(save(*world));
    const std::string said = GetCapturedStderr();
    ASSERT_EQ(lines(said).size(), 1u) << said;
    EXPECT_NE(said.find("failed"), std::string::npos) << said;
    EXPECT_NE(said.find(std::strerror(ENOSPC)), std::string::npos) << said;
    EXPECT_NE(said.find("previous file is kept"), std::string::npos) << said;
    const auto after = readBytes(genomeFile);
    EXPECT_TRUE(std::equal(after.begin(), after.end(), saved.begin(), saved.end()));
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "genom.gen.tmp")));

    // With room again the same world saves what it has run since.
    ASSERT_TRUE(save(*world));
    EXPECT_EQ(readBytes(genomeFile), bytesOf(*world));
}

TEST_F(GenomeFileFaults, ReadOnlyFolderAtSaveKeepsThePreviousFile) {
    if (runningAsRoot()) GTEST_SKIP() << "root writes into a folder whatever its mode";
    const GenomeFileBytes saved = savedEvolution();
    writeBytes(genomeFile, saved.data(), saved.size());
    std::unique_ptr<Population> world;
    ASSERT_EQ(load(world), "");
    ASSERT_TRUE(runChecked(*world, 20));
    fs::permissions(folder.path, fs::perms::owner_read | fs::perms::owner_exec);
    CaptureStderr();
    EXPECT_FALSE(save(*world));
    const std::string said = GetCapturedStderr();
    fs::permissions(folder.path, fs::perms::owner_all);
    ASSERT_EQ(lines(said).size(), 1u) << said;
    EXPECT_NE(said.find("failed"), std::string::npos) << said;
    const auto after = readBytes(genomeFile);
    EXPECT_TRUE(std::equal(after.begin(), after.end(), saved.begin(), saved.end()));
}

// Statistics files the report cannot or must not write: a folder and a symbolic link
// are skipped with one line each (not one per report); a plain file among them is
// still written, and the run goes on.
TEST(StatisticsFileFaults, FoldersAndLinksAreSkippedAndTheRunGoesOn) {
    TempFolder folder;
    TempFolder elsewhere;
    fs::create_directory(folder / statisticsFileName(StatisticsFile::rank));
    const std::string outside(100, 'x');
    writeBytes(elsewhere / "target.txt", outside.data(), outside.size());
    fs::create_symlink(elsewhere / "target.txt",
                       folder / statisticsFileName(StatisticsFile::probeE));
    writeBytes(folder / statisticsFileName(StatisticsFile::probeM), "", 0);

    auto world = testing::standardWorld();
    StatisticsFiles statistics(folder.path);
    CaptureStderr();
    const bool held = runChecked(*world, 2 * kStatisticsPeriod, &statistics);
    const std::string said = GetCapturedStderr();
    ASSERT_TRUE(held);
    EXPECT_EQ(world->world.tick, 2 * kStatisticsPeriod);
    const auto said_lines = lines(said);
    ASSERT_EQ(said_lines.size(), 2u) << said;
    EXPECT_NE(said_lines[0].find(statisticsFileName(StatisticsFile::rank)), std::string::npos)
        << said;
    EXPECT_NE(said_lines[1].find("symbolic link"), std::string::npos) << said;
    EXPECT_TRUE(fs::is_directory(folder / statisticsFileName(StatisticsFile::rank)));
    const auto target = readBytes(elsewhere / "target.txt");
    EXPECT_EQ(std::string(target.begin(), target.end()), outside);
    const auto written = readBytes(folder / statisticsFileName(StatisticsFile::probeM));
    ASSERT_EQ(written.size(), 64u);
    EXPECT_EQ(std::string(written.begin() + 44, written.end()), tickField(400));
}

TEST(StatisticsFileFaults, ReadOnlyFileIsSkippedOnce) {
    if (runningAsRoot()) GTEST_SKIP() << "root writes a file whatever its mode";
    TempFolder folder;
    writeBytes(folder / statisticsFileName(StatisticsFile::rank), "old", 3);
    fs::permissions(folder / statisticsFileName(StatisticsFile::rank), fs::perms::owner_read);
    auto world = testing::standardWorld();
    StatisticsFiles statistics(folder.path);
    CaptureStderr();
    const bool held = runChecked(*world, 2 * kStatisticsPeriod, &statistics);
    const std::string said = GetCapturedStderr();
    ASSERT_TRUE(held);
    ASSERT_EQ(lines(said).size(), 1u) << said;
    EXPECT_NE(said.find("Permission denied"), std::string::npos) << said;
    const auto kept = readBytes(folder / statisticsFileName(StatisticsFile::rank));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "old");
}

}  // namespace
}  // namespace kav::robust
