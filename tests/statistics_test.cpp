#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "evo/population.h"
#include "io/statistics_files.h"
#include "test_files.h"
#include "test_world.h"

namespace kav {
namespace {

using testing::readText;
using testing::TempFolder;

TEST(StatisticsText, FieldsAreCutToWidth) {
    EXPECT_EQ(fixedField("%.4f", 45.6789f, 4), "45.6");
    EXPECT_EQ(fixedField("%.4f", 3.14159f, 4), "3.14");
    EXPECT_EQ(fixedField("%.4f", 0.0f, 4), "0.00");
    EXPECT_EQ(fixedField("%.4f", 100.0f, 4), "100.");
    EXPECT_EQ(fixedField("%.8f", 0.5f, 10), "0.50000000");
    EXPECT_EQ(fixedField("%.8f", -0.5f, 10), "-0.5000000") << "a minus sign costs a digit";
    EXPECT_EQ(fixedField("%.8f", 12.5f, 10), "12.5000000");
    EXPECT_EQ(tickField(400), "400" + std::string(17, ' '));
    EXPECT_EQ(tickField(-7), "-7" + std::string(18, ' '));
    EXPECT_EQ(tickField(9223372036854775807LL), "9223372036854775807 ");
    // Not-a-number texts come from the C library; the field keeps its width.
    const std::string nanText = fixedField("%.4f", std::nanf(""), 4);
    EXPECT_EQ(nanText.size(), 4u);
    EXPECT_NE(nanText.find("nan"), std::string::npos);
}

TEST(StatisticsText, RecordLayouts) {
    const std::string rank = rankRecord(12.345f, 50.0f, 400);
    EXPECT_EQ(rank, "12.3\n50.0\n400                 ");
    ASSERT_EQ(rank.size(), 30u);

    ProbeStatistics stats;
    stats.meanX = 0.25f;
    stats.meanY = -0.125f;
    stats.spread = 0.0f;
    stats.spreadChange = -1.0f;
    const std::string probe = probeRecord(stats, 1200);
    ASSERT_EQ(probe.size(), 64u);
    EXPECT_EQ(probe.substr(0, 44), "0.25000000\n-0.1250000\n0.00000000\n-1.0000000\n");
    EXPECT_EQ(probe.substr(44), "1200" + std::string(16, ' '));
}

TEST(StatisticsText, DispersionOfProbeResponses) {
    std::array<float, 2> same[3] = {{0.3f, 0.4f}, {0.3f, 0.4f}, {0.3f, 0.4f}};
    ProbeStatistics stats = probeStatistics(same, 3, 1.0f);
    EXPECT_FLOAT_EQ(stats.meanX, 0.3f);
    EXPECT_EQ(stats.spread, 0.0f);
    EXPECT_EQ(stats.spreadChange, -1.0f);

    // Two responses 0.2 either side of a mean of length 0.5: spread 0.2 / 0.5.
    std::array<float, 2> apart[2] = {{0.3f, 0.2f}, {0.3f, 0.6f}};
    stats = probeStatistics(apart, 2, 0.5f);
    EXPECT_FLOAT_EQ(stats.meanY, 0.4f);
    EXPECT_FLOAT_EQ(stats.spread, 0.4f);
    EXPECT_NEAR(stats.spreadChange, -0.1f, 1e-6f);
}

class StatisticsFilesTest : public ::testing::Test {
protected:
    TempFolder folder{"stats"};
    std::unique_ptr<Population> world = testing::standardWorld();
    StatisticsFiles files{folder.path};

    void writeStatistics() { files.write(world->makeReport()); }

    // Every Prey answers the E probe alike: forward thrust from the nearest Prey offset.
    void uniformPreyGenomes() {
        for (auto& genome : world->world.preyGenomes) {
            genome.fill(0.0f);
            genome[0] = 1.0f;
            genome[20] = 1.0f;
            genome[30] = 1.0f;
            genome[40] = 1.0f;
            genome[60] = 1.0f;
        }
    }
};

TEST_F(StatisticsFilesTest, AbsentFilesAreNeverCreated) {
    writeStatistics();
    EXPECT_FALSE(std::filesystem::exists(folder / "ivklsiker.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder / "AiTesztE.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder / "AiTesztM.txt"));
    EXPECT_FLOAT_EQ(world->lastReport().sexualRankPct, 50.0f) << "the fields are updated anyway";
}

TEST_F(StatisticsFilesTest, RecordsOverwriteTheStartAndKeepTheRest) {
    std::ofstream(folder / "ivklsiker.txt") << std::string(100, 'x');
    std::ofstream(folder / "AiTesztE.txt").close();
    std::ofstream(folder / "AiTesztM.txt") << std::string(70, 'y');
    uniformPreyGenomes();
    world->world.tick = 400;
    writeStatistics();

    const std::string rank = readText(folder / "ivklsiker.txt");
    ASSERT_EQ(rank.size(), 100u);
    EXPECT_EQ(rank.substr(5, 25), "50.0\n400                 ");
    EXPECT_NE(rank.substr(0, 4).find("nan"), std::string::npos) << "no Prey is clonal";
    EXPECT_EQ(rank.substr(30), std::string(70, 'x'));

    // 0.6 forward from the E vector, dragged: 0.6 - 0.1 * 0.36, summed over 150 Prey in
    // single precision; no scatter but rounding.
    const std::string e = readText(folder / "AiTesztE.txt");
    ASSERT_EQ(e.size(), 64u);
    for (int newline : {10, 21, 32, 43}) EXPECT_EQ(e[newline], '\n');
    EXPECT_NEAR(std::stod(e.substr(0, 10)), 0.564, 1e-6);
    EXPECT_EQ(e.substr(11, 10), "0.00000000");
    EXPECT_NEAR(std::stod(e.substr(22, 10)), 0.0, 1e-5);
    EXPECT_NEAR(std::stod(e.substr(33, 10)), -1.0, 1e-5);
    EXPECT_EQ(e.substr(44), "400" + std::string(17, ' '));

    // The M vector shows one Predator; these Genomes ignore Predators, so the mean
    // response is zero and the dispersion is 0/0.
    const std::string m = readText(folder / "AiTesztM.txt");
    ASSERT_EQ(m.size(), 70u);
    EXPECT_EQ(m.substr(0, 22), "0.00000000\n0.00000000\n");
    EXPECT_NE(m.substr(22, 10).find("nan"), std::string::npos);
    EXPECT_EQ(m.substr(64), "yyyyyy");

    // The next report measures the change against the last dispersion.
    world->world.tick = 600;
    writeStatistics();
    EXPECT_NEAR(std::stod(readText(folder / "AiTesztE.txt").substr(33, 10)), 0.0, 1e-6);
}

TEST_F(StatisticsFilesTest, ProbeRunsEveryPreyGenomeInRankOrder) {
    std::ofstream(folder / "AiTesztE.txt").close();
    uniformPreyGenomes();
    // These Genomes also turn the M probe's Predator offset into lateral thrust.
    for (auto& genome : world->world.preyGenomes) {
        genome[8] = 1.0f;
        genome[25] = 1.0f;
        genome[35] = 1.0f;
        genome[47] = 1.0f;
        genome[61] = 1.0f;
    }
    // The Prey at the top of the list answers twice as strongly.
    std::swap(world->world.preyRanks[0], world->world.preyRanks[7]);
    world->world.prey[world->world.preyRanks[0]].rank = 0;
    world->world.prey[world->world.preyRanks[7]].rank = 7;
    world->world.preyGenomes[world->world.preyRanks[0]][60] = 2.0f;
    world->world.preyGenomes[world->world.preyRanks[0]][61] = 2.0f;
    writeStatistics();

    // The probe of one Predator ahead: -0.1 lateral, dragged; twice that for the top.
    std::array<std::array<float, 2>, kMaxPrey> responses;
    probeResponses(world->world, world->step, Probe::predatorAhead, responses);
    EXPECT_FLOAT_EQ(responses[0][1], -0.196f);
    EXPECT_FLOAT_EQ(responses[1][1], -0.099f);
    EXPECT_FLOAT_EQ(responses[149][1], -0.099f);
    EXPECT_EQ(responses[0][0], 0.0f);
    // The E record's mean counts the strong answer (1.2, dragged to 1.056, limited to 1)
    // once among 150.
    const std::string e = readText(folder / "AiTesztE.txt");
    EXPECT_NEAR(std::stod(e.substr(0, 10)), (1.0 + 149 * 0.564) / 150, 1e-6);
}

TEST_F(StatisticsFilesTest, OnePreyHasNoScatter) {
    uniformPreyGenomes();
    world->world.preyCount = 1;
    writeStatistics();
    EXPECT_EQ(world->world.probeSpreadE, 0.0f);
    EXPECT_TRUE(std::isnan(world->lastReport().sexualRankPct)) << "0 / 0 with one Prey";
}

TEST_F(StatisticsFilesTest, UnwritableFilesAreSkippedAndTheReportGoesOn) {
    std::filesystem::create_directory(folder / "ivklsiker.txt");
    std::ofstream(folder / "elsewhere.txt") << "keep me";
    std::filesystem::create_symlink(folder / "elsewhere.txt", folder / "AiTesztE.txt");
    std::ofstream(folder / "AiTesztM.txt").close();
    ::testing::internal::CaptureStderr();
    writeStatistics();
    writeStatistics();
    const std::string messages = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), 2) << messages;
    EXPECT_EQ(readText(folder / "elsewhere.txt"), "keep me");
    EXPECT_EQ(std::filesystem::file_size(folder / "AiTesztM.txt"), 64u);
}

}  // namespace
}  // namespace kav
