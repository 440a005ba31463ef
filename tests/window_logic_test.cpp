// The window's parts that need no display: title, history, schedules, picking an
// Agent, the choice of video driver, the command line and screenshots.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <stb_image.h>
#include <vector>

#include <gtest/gtest.h>

#include "app/agent_details.h"
#include "app/display.h"
#include "app/history.h"
#include "app/schedule.h"
#include "app/screenshot.h"
#include "app/selection.h"
#include "app/title.h"
#include "app/window_options.h"
#include "render/transforms.h"

namespace kav {
namespace {

// --- title -------------------------------------------------------------------------

TEST(Title, CountsAreGroupedByThousandsAndTheModeIsNamedWhenNotNormal) {
    EXPECT_EQ(groupedCount(0), "0");
    EXPECT_EQ(groupedCount(999), "999");
    EXPECT_EQ(groupedCount(1000), "1,000");
    EXPECT_EQ(groupedCount(12345), "12,345");
    EXPECT_EQ(groupedCount(1234567890123), "1,234,567,890,123");
    EXPECT_EQ(groupedCount(-4500), "-4,500");

    RunFlags flags;
    const std::string normal = windowTitle(12345, 10, 150, flags);
    EXPECT_EQ(normal.rfind("Kavrosa \u2014 tick 12,345 \u00b7 10 Predators \u00b7 150 Prey", 0), 0u)
        << normal;
    EXPECT_EQ(normal.find("fast"), std::string::npos);
    EXPECT_EQ(normal.find("paused"), std::string::npos);
    EXPECT_NE(normal.find("H: panel"), std::string::npos);
    EXPECT_NE(windowTitle(1, 1, 150, flags).find(" 1 Predator \u00b7"), std::string::npos);

    flags.fastDraw = true;
    EXPECT_EQ(modeName(flags), "fast");
    EXPECT_NE(windowTitle(5, 10, 150, flags).find("Prey \u00b7 fast"), std::string::npos);
    flags = {};
    flags.fastNoDraw = true;
    EXPECT_EQ(modeName(flags), "fast, not drawn");
    flags.paused = true;
    EXPECT_EQ(modeName(flags), "fast, not drawn, paused");
    flags.fastNoDraw = false;
    EXPECT_EQ(modeName(flags), "paused");
    EXPECT_NE(windowTitle(5, 10, 150, flags, 1000).find("paused \u00b7 1,000 ticks back   ("),
              std::string::npos);
    EXPECT_NE(windowTitle(5, 10, 150, flags, 1).find(" 1 tick back"), std::string::npos);
    EXPECT_EQ(windowTitle(5, 10, 150, flags, 0).find("back"), std::string::npos);
}

// --- history -----------------------------------------------------------------------

TEST(HistorySeries, KeepsEveryReportUntilFullThenHalvesItsResolution) {
    HistorySeries series;
    for (int i = 0; i < HistorySeries::capacity; ++i) series.add(static_cast<float>(i));
    EXPECT_EQ(series.size(), HistorySeries::capacity);
    EXPECT_EQ(series.reportsPerPoint(), 1);
    EXPECT_EQ(series.data()[7], 7.0f);

    series.add(5000.0f);  // full: pairs merged, the new report starts a point of two
    EXPECT_EQ(series.reportsPerPoint(), 2);
    EXPECT_EQ(series.size(), HistorySeries::capacity / 2);
    EXPECT_EQ(series.data()[0], 0.5f);
    EXPECT_EQ(series.data()[3], 6.5f);
    EXPECT_EQ(series.latest(), 1022.5f);
    series.add(6000.0f);
    EXPECT_EQ(series.size(), HistorySeries::capacity / 2 + 1);
    EXPECT_EQ(series.latest(), 5500.0f);
    float low = 0;
    float high = 0;
    ASSERT_TRUE(series.range(low, high));
    EXPECT_EQ(low, 0.5f);
    EXPECT_EQ(high, 5500.0f);

    // A merged point is placed at the tick of its last report.
    HistorySeries timed;
    for (int i = 0; i <= HistorySeries::capacity; ++i) timed.add(1.0f, 200 * (i + 1));
    EXPECT_EQ(timed.tickAt(0), 400);
    EXPECT_EQ(timed.tickAt(timed.size() - 1), 200 * HistorySeries::capacity);

    // Hours of reports stay within the capacity, every point the mean of as many.
    HistorySeries hours;
    for (int i = 0; i < 1'000'000; ++i) hours.add(1.0f);
    EXPECT_LE(hours.size(), HistorySeries::capacity);
    EXPECT_GT(hours.size(), HistorySeries::capacity / 2 - 1);
    EXPECT_EQ(hours.reportsPerPoint(), 1024);
    ASSERT_TRUE(hours.range(low, high));
    EXPECT_EQ(low, 1.0f);
    EXPECT_EQ(high, 1.0f);

    // Values that are not numbers (no clonal Prey: a mean of 0/0) have no range.
    HistorySeries none;
    EXPECT_FALSE(none.range(low, high));
    none.add(std::nanf(""));
    none.add(std::nanf(""));
    EXPECT_FALSE(none.range(low, high));
    none.add(3.0f);
    none.add(-2.0f);
    ASSERT_TRUE(none.range(low, high));
    EXPECT_EQ(low, -2.0f);
    EXPECT_EQ(high, 3.0f);
}

// The standard deviation of each weight over the Agents in use, averaged over the weights.
TEST(History, GenomeSpreadIsTheMeanDeviationOfTheWeightsOverTheAgentsInUse) {
    auto world = std::make_unique<World>();
    world->predatorCount = 2;
    world->preyCount = 3;
    for (int w = 0; w < kGenomeSize; ++w) {
        world->predatorGenomes[0][w] = 1.0f;
        world->predatorGenomes[1][w] = w < 21 ? 3.0f : 1.0f;  // SD 1 for a third of them
        world->predatorGenomes[2][w] = 100.0f;                // not in use
        world->preyGenomes[0][w] = world->preyGenomes[1][w] = world->preyGenomes[2][w] = -0.5f;
    }
    EXPECT_FLOAT_EQ(genomeSpread(*world, true), 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(genomeSpread(*world, false), 0.0f);  // clones
    world->predatorCount = 1;
    EXPECT_FLOAT_EQ(genomeSpread(*world, true), 0.0f);
}

TEST(History, CapturesPerReportAndRatesPerThousandTicks) {
    // A world resumed at tick 1000 with the totals of its first 1000 ticks.
    EventTotals totals;
    totals.captures = 300;
    totals.births = 400;
    totals.starvations = 50;
    History history;
    history.start(1000, totals);
    EXPECT_EQ(history.rates(1000, totals).captures, 0.0);
    for (int report = 1; report <= 15; ++report) {
        totals.captures += report <= 10 ? 4 : 10;  // 4, then 10 captures per 200 ticks
        totals.births += 5;
        totals.starvations += 1;
        ReportPoint point;
        point.tick = 1000 + 200 * report;
        point.totals = totals;
        history.record(point);
        if (report == 5) {
            const EventRates early = history.rates(point.tick, totals);  // from the start
            EXPECT_DOUBLE_EQ(early.captures, 20.0);
            EXPECT_DOUBLE_EQ(early.births, 25.0);
            EXPECT_DOUBLE_EQ(early.starvations, 5.0);
        }
    }
    EXPECT_EQ(history.capturesPerReport.size(), 15);
    EXPECT_EQ(history.capturesPerReport.data()[0], 4.0f);
    EXPECT_EQ(history.capturesPerReport.latest(), 10.0f);
    // The last ten reports: ticks 2000..4000, five reports of 4 and five of 10 captures.
    const EventRates late = history.rates(4000, totals);
    EXPECT_DOUBLE_EQ(late.captures, (5 * 4 + 5 * 10) * 1000.0 / 2000.0);
    EXPECT_DOUBLE_EQ(late.births, 25.0);
    EXPECT_EQ(history.reports(), 15);
}

TEST(Every, DueOncePerPeriodAndNeverWhenOff) {
    Every every(100.0);
    EXPECT_FALSE(every.due(0.0));  // the first reading starts the period
    EXPECT_FALSE(every.due(99.0));
    EXPECT_TRUE(every.due(100.0));
    EXPECT_FALSE(every.due(150.0));
    EXPECT_TRUE(every.due(205.0));
    EXPECT_TRUE(every.due(1000.0));  // after a stall: once, not a burst
    EXPECT_FALSE(every.due(1001.0));
    every.hurry();
    EXPECT_TRUE(every.due(1002.0));

    Every off(0.0);
    for (double t = 0; t < 1e6; t += 1e5) EXPECT_FALSE(off.due(t));
}

// --- picking an Agent ----------------------------------------------------------------

class Picking : public ::testing::Test {
protected:
    void SetUp() override {
        world.world.settings.arena = kStandardArena;
        world.world.predatorCount = 2;
        world.world.preyCount = 2;
        place(world.world.predators[0], 1.0f, 1.0f);
        place(world.world.predators[1], -3.0f, 2.0f);
        place(world.world.prey[0], 1.3f, 1.0f);
        place(world.world.prey[1], 4.0f, -3.0f);
    }
    static void place(Agent& a, float x, float y) {
        a = Agent{};
        a.x = x;
        a.y = y;
    }
    Population world;
};

TEST_F(Picking, TheNearestDrawnAgentWithinItsDiscAndAFewPixels) {
    const FrameTime still{false, 0.0f};
    Selection s = pickAgent(world.world, {1.02f, 1.0f}, still, 0.05f);
    EXPECT_TRUE(s.active);
    EXPECT_TRUE(s.predator);
    EXPECT_EQ(s.slot, 0);
    s = pickAgent(world.world, {1.2f, 1.0f}, still, 0.05f);  // within both discs: the nearer
    EXPECT_FALSE(s.predator);
    EXPECT_EQ(s.slot, 0);
    s = pickAgent(world.world, {4.0f + 0.16f + 0.04f, -3.0f}, still, 0.05f);  // just off the disc
    EXPECT_TRUE(s.active);
    EXPECT_EQ(s.slot, 1);
    EXPECT_FALSE(pickAgent(world.world, {4.0f + 0.16f + 0.06f, -3.0f}, still, 0.05f).active);
    EXPECT_FALSE(pickAgent(world.world, {0.0f, -2.0f}, still, 0.05f).active);  // empty arena

    // Slots beyond the count are not Agents.
    world.world.preyCount = 1;
    EXPECT_FALSE(pickAgent(world.world, {4.0f, -3.0f}, still, 0.05f).active);
    EXPECT_FALSE(selectionValid(world.world, {true, false, 1}));
    EXPECT_TRUE(selectionValid(world.world, {true, false, 0}));
}

TEST_F(Picking, FollowsTheAgentAlongItsMoveAndIgnoresAShrunkenCatch) {
    world.world.predators[1].vx = 1.0f;  // from -3 to -2 during the tick
    EXPECT_FALSE(pickAgent(world.world, {-2.0f, 2.0f}, {false, 0.0f}, 0.01f).active);
    EXPECT_EQ(pickAgent(world.world, {-2.0f, 2.0f}, {false, 1.0f}, 0.01f).slot, 1);
    EXPECT_EQ(pickAgent(world.world, {-3.0f, 2.0f}, {true, 1.0f}, 0.01f).slot, 1);  // standing

    world.world.prey[1].captured = 1;
    world.world.prey[1].contactTime = 0.0f;
    EXPECT_TRUE(pickAgent(world.world, {4.0f, -3.0f}, {false, 0.5f}, 0.01f).active);
    EXPECT_FALSE(pickAgent(world.world, {4.0f, -3.0f}, {false, 1.0f}, 0.01f).active);  // gone
}

TEST_F(Picking, AClickOnTheAgentsPixelFindsIt) {
    // The window's path: the pixel the projection gives, back into the arena.
    for (const auto& [predator, slot] : {std::pair{true, 1}, std::pair{false, 1}}) {
        const Agent& a = predator ? world.world.predators[slot] : world.world.prey[slot];
        const glm::vec2 pixel = projectToClient({a.x, a.y, 0.0f}, 800, 600);
        const glm::vec2 offBy3 = pixel + glm::vec2(3.0f, -3.0f);
        const Selection s =
            pickAgent(world.world, clientToArena(offBy3, 800, 600), {false, 0.0f}, 0.05f);
        EXPECT_TRUE(s.active);
        EXPECT_EQ(s.predator, predator);
        EXPECT_EQ(s.slot, slot);
    }
}

TEST(Inspector, GenerationSummaryAndWeightColours) {
    Population world;
    world.world.predatorCount = 3;
    world.world.predators[0].generation = 2;
    world.world.predators[1].generation = 7;
    world.world.predators[2].generation = 3;
    world.world.predators[3].generation = 99;  // not in use
    const GenerationSummary s = summarizeGenerations(world, true);
    EXPECT_DOUBLE_EQ(s.mean, 4.0);
    EXPECT_EQ(s.maximum, 7);
    world.world.preyCount = 0;
    EXPECT_EQ(summarizeGenerations(world, false).mean, 0.0);

    EXPECT_EQ(weightColour(0.0f), 0x181818u);
    EXPECT_EQ(weightColour(2.0f), weightColour(50.0f));  // saturated
    EXPECT_EQ(weightColour(-2.0f) & 0xFF, 0xFFu);        // negative: blue
    EXPECT_EQ(weightColour(2.0f) >> 16, 0xFFu);          // positive: orange
    EXPECT_NE(weightColour(0.5f), weightColour(1.0f));
    EXPECT_NE(weightColour(std::nanf("")), weightColour(0.0f));
}

TEST(Inspector, LatestControlIsTheSlotsOwnFromTheLastStep) {
    static Population world;  // large: not on the stack
    world.setupStandard();
    world.runTick();
    const ControlSnapshot a = latestControl(world, false, 0);
    const ControlSnapshot b = latestControl(world, false, 1);
    const ControlSnapshot p = latestControl(world, true, 0);
    EXPECT_NE(a.inputs, b.inputs);
    EXPECT_NE(a.inputs, p.inputs);
    EXPECT_TRUE(p.outputs.forward != 0.0f || p.outputs.lateral != 0.0f);  // it steered
}

// --- video driver -----------------------------------------------------------------------

TEST(VideoDriver, NoDisplayIsSaidAtOnceAndInvisibleDriversOnlyByName) {
    VideoDriverChoice c = chooseVideoDrivers(nullptr, nullptr, nullptr);
    EXPECT_FALSE(c.missing.empty());
    EXPECT_NE(c.missing.find("DISPLAY"), std::string::npos);
    EXPECT_NE(c.missing.find("kavrosa-evolve"), std::string::npos);
    EXPECT_FALSE(chooseVideoDrivers("", "", "").missing.empty());

    c = chooseVideoDrivers(nullptr, ":0", nullptr);
    EXPECT_TRUE(c.missing.empty());
    EXPECT_EQ(c.drivers, "x11");
    EXPECT_EQ(chooseVideoDrivers(nullptr, ":0", "wayland-0").drivers, "x11,wayland");
    EXPECT_EQ(chooseVideoDrivers(nullptr, nullptr, "wayland-0").drivers, "wayland");
    c = chooseVideoDrivers("offscreen", nullptr, nullptr);  // asked for by name
    EXPECT_TRUE(c.missing.empty());
    EXPECT_EQ(c.drivers, "offscreen");
    EXPECT_TRUE(isInvisibleDriver("offscreen"));
    EXPECT_TRUE(isInvisibleDriver("dummy"));
    EXPECT_FALSE(isInvisibleDriver("x11"));
}

// --- command line ---------------------------------------------------------------------

ParsedWindowOptions parse(std::vector<const char*> args) {
    args.insert(args.begin(), "kavrosa");
    return parseWindowOptions(static_cast<int>(args.size()), args.data());
}

TEST(WindowOptions, DefaultsFolderSeedAutosaveAndBadArguments) {
    ParsedWindowOptions p = parse({});
    EXPECT_TRUE(p.run);
    EXPECT_FALSE(p.options.seed) << "a new evolution starts at 1, a resumed one continues";
    EXPECT_EQ(p.options.autosaveSeconds, 300.0);
    EXPECT_TRUE(p.options.folder.empty());
    EXPECT_TRUE(p.options.logFile.empty());

    const std::string folder = ::testing::TempDir();
    const std::string log = folder + "/log.csv";
    p = parse({"-C", folder.c_str(), "--seed", "7", "--autosave", "0", "--log", log.c_str()});
    EXPECT_TRUE(p.run);
    EXPECT_EQ(p.options.folder, folder);
    EXPECT_EQ(p.options.seed, 7u);
    EXPECT_EQ(p.options.logFile, log);
    EXPECT_EQ(p.options.autosaveSeconds, 0.0);

    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    for (const std::vector<const char*>& bad : {std::vector<const char*>{"--ticks", "5"},
                                                {"--seed", "x"},
                                                {"--autosave", "-1"},
                                                {"-C", "/nonexistent/folder"},
                                                {"--log", "/nonexistent/folder/log.csv"},
                                                {"stray"}}) {
        p = parse(bad);
        EXPECT_FALSE(p.run) << bad[0];
        EXPECT_EQ(p.exitStatus, 2) << bad[0];
    }
    p = parse({"--help"});
    EXPECT_FALSE(p.run);
    EXPECT_EQ(p.exitStatus, 0);
    p = parse({"--version"});
    EXPECT_FALSE(p.run);
    EXPECT_EQ(p.exitStatus, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE((out + err).find("--autosave"), std::string::npos);                      // the help
    EXPECT_TRUE(std::regex_search(out + err, std::regex("kavrosa [0-9]+\\.[0-9]+")));  // version
}

// --- screenshot ----------------------------------------------------------------------------

TEST(Screenshot, NamedByTheTickAndWrittenTopRowFirst) {
    const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "kav_shots";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto first = screenshotPath(folder, 12345);
    EXPECT_EQ(first.filename(), "kavrosa-tick-12345.png");

    // 2 x 2 pixels as OpenGL reads them: the bottom row first (red, green), then the
    // top row (blue, white).
    const std::vector<std::uint8_t> pixels = {255, 0, 0,   255, 0,   255, 0,   255,
                                              0,   0, 255, 255, 255, 255, 255, 255};
    ASSERT_TRUE(writeScreenshot(first, 2, 2, pixels));
    EXPECT_EQ(screenshotPath(folder, 12345).filename(), "kavrosa-tick-12345-2.png");
    int w = 0;
    int h = 0;
    int channels = 0;
    unsigned char* back = stbi_load(first.string().c_str(), &w, &h, &channels, 3);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 2);
    const std::vector<unsigned char> topDown(back, back + 12);
    stbi_image_free(back);
    EXPECT_EQ(topDown,
              (std::vector<unsigned char>{0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 0}));

    EXPECT_FALSE(writeScreenshot(folder / "no" / "such" / "x.png", 2, 2, pixels));
    EXPECT_FALSE(writeScreenshot(folder / "short.png", 2, 2, {1, 2, 3}));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kav
