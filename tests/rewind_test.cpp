// Going back in the window's timeline: where keyframes are kept, replays that give the
// same bits, a size change in the past that discards the future, and the folder's files
// cut to match.
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "app/rewind.h"
#include "io/snapshots.h"
#include "test_files.h"

namespace kav {
namespace {

std::unique_ptr<Population> standardWorld() {
    auto population = std::make_unique<Population>();
    population->world.random.setState(7);
    population->setupStandard();
    return population;
}

bool sameReadings(const AgentReadings& a, const AgentReadings& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(KeyframeStore, DenseRecentlyThinnedBeforeAndTheOldestGoBeyondTheBudget) {
    auto population = standardWorld();
    for (int i = 0; i < 7; ++i) population->runTick();
    KeyframeStore store(1000 * sizeof(Keyframe), {10, 100, 50});
    store.offer(*population);  // the session's first, at tick 7
    while (population->world.tick < 1000) {
        population->runTick();
        store.offer(*population);
        store.offer(*population);  // offered twice: kept once
    }
    std::vector<std::int64_t> expected{7};
    for (std::int64_t t = 50; t < 900; t += 50) expected.push_back(t);
    for (std::int64_t t = 900; t <= 1000; t += 10) expected.push_back(t);
    EXPECT_EQ(store.ticks(), expected);
    EXPECT_EQ(store.atOrBefore(6), nullptr);
    EXPECT_EQ(store.atOrBefore(949)->world.tick, 940);
    EXPECT_EQ(store.atOrBefore(899)->world.tick, 850);
    store.dropAfter(925);
    EXPECT_EQ(store.newestTick(), 920);

    KeyframeStore small(3 * sizeof(Keyframe) + 1, {10, 100, 50});
    auto other = standardWorld();
    for (int i = 0; i < 60; ++i) {
        other->runTick();
        small.offer(*other);
    }
    EXPECT_EQ(small.ticks(), (std::vector<std::int64_t>{40, 50, 60}));
    KeyframeStore none(sizeof(Keyframe) - 1);
    none.offer(*other);
    EXPECT_TRUE(none.empty());
}

TEST(WatchedRun, GoingBackAndForthGivesTheSameWorldsAndReplaysWriteNothing) {
    auto population = standardWorld();
    WatchedRun run(*population, 500 * sizeof(Keyframe), {100, 1000, 500});
    run.start();
    std::unique_ptr<Keyframe> at1500;
    std::unique_ptr<Keyframe> at1234;
    while (run.tickNow() < 3000) {
        EXPECT_TRUE(run.tick().live);
        if (run.tickNow() == 1500) at1500 = std::make_unique<Keyframe>(keyframeOf(*population));
        if (run.tickNow() == 1234) at1234 = std::make_unique<Keyframe>(keyframeOf(*population));
    }
    const auto newest = std::make_unique<Keyframe>(keyframeOf(*population));
    EXPECT_EQ(run.history().reports(), 15);

    ASSERT_TRUE(run.jumpTo(1234));
    EXPECT_TRUE(run.inPast());
    EXPECT_EQ(population->world, at1234->world);
    EXPECT_TRUE(sameReadings(population->step.readings, at1234->readings));
    EXPECT_EQ(population->lastReport().tick, 1200);
    EXPECT_EQ(run.history().reports(), 6);  // the plots follow the world
    EXPECT_EQ(run.worldToSave(), newest->world);

    ASSERT_TRUE(run.jumpBy(-1));
    EXPECT_EQ(run.tickNow(), 1233);
    ASSERT_TRUE(run.jumpBy(1));
    EXPECT_EQ(population->world, at1234->world);

    // Running on from the past replays the same ticks, and is live again at the newest.
    while (run.tickNow() < 3000) EXPECT_FALSE(run.tick().live);
    EXPECT_FALSE(run.inPast());
    EXPECT_FALSE(run.replayDiverged());
    EXPECT_EQ(population->world, newest->world);
    EXPECT_TRUE(sameReadings(population->step.readings, newest->readings));
    EXPECT_EQ(run.history().reports(), 15);

    ASSERT_TRUE(run.jumpTo(1500));  // a keyframe's own tick: nothing stepped
    EXPECT_EQ(population->world, at1500->world);
    EXPECT_TRUE(sameReadings(population->step.readings, at1500->readings));
    EXPECT_EQ(population->lastReport().tick, 1400);
    ASSERT_TRUE(run.jumpTo(0));
    EXPECT_EQ(run.tickNow(), 0);
    EXPECT_FALSE(run.jumpTo(-5));  // clamped to the oldest tick: already there
    ASSERT_TRUE(run.jumpTo(run.newestTick()));
    EXPECT_EQ(population->world, newest->world);
    EXPECT_TRUE(sameReadings(population->step.readings, newest->readings));
    EXPECT_TRUE(run.tick().live);
}

TEST(WatchedRun, ASizeChangeInThePastDiscardsTheFutureAtTheNextTickUnlessUndone) {
    auto population = standardWorld();
    WatchedRun run(*population, 100 * sizeof(Keyframe), {100, 1000, 500});
    run.start();
    while (run.tickNow() < 1500) run.tick();
    ASSERT_TRUE(run.jumpTo(1000));
    const World at1000 = population->world;

    run.requestSizeChange(true, false);
    EXPECT_TRUE(run.changeWaiting());
    EXPECT_EQ(run.newestTick(), 1500);
    run.undoChange();
    EXPECT_FALSE(run.changeWaiting());
    EXPECT_EQ(population->world, at1000);

    run.requestSizeChange(true, false);
    EXPECT_EQ(run.worldBeforeChange(), at1000);
    EXPECT_TRUE(run.tick().live);
    EXPECT_FALSE(run.inPast());
    EXPECT_EQ(population->world.preyCount, 151);
    EXPECT_EQ(run.newestTick(), 1001);
    EXPECT_EQ(run.keyframes().newestTick(), 1000);
    while (run.tickNow() < 1500) run.tick();
    EXPECT_EQ(run.history().reports(), 7);  // 200 … 1,400, none twice
    ASSERT_TRUE(run.jumpTo(1100));
    ASSERT_TRUE(run.jumpTo(1500));
    EXPECT_EQ(run.history().reports(), 7) << "the discarded future's reports are gone";
}

// The log's rows give the plots back their history, totals counted from the last row.
TEST(WatchedRun, PointsOfTheLogCarryTheTotalsTheReportsHad) {
    auto population = standardWorld();
    std::string text = logHeader() + '\n';
    std::vector<TickReport> reports;
    EventCounts before;
    while (reports.size() < 3) {
        if (!population->runTick()) continue;
        reports.push_back(population->lastReport());
        text += logRow(reports.back(), before);
        before = reports.back().events;
    }
    const std::vector<ReportPoint> points = pointsOfLog(logRecords(text), before);
    ASSERT_EQ(points.size(), 4u);
    EXPECT_EQ(points[0].tick, 0);
    EXPECT_EQ(points[0].totals.captures, 0);
    EXPECT_EQ(points[0].totals.births, 0);
    for (int i = 0; i < 3; ++i) {
        const ReportPoint expected = pointOf(reports[i], population->world);
        EXPECT_EQ(points[i + 1].tick, expected.tick);
        EXPECT_EQ(points[i + 1].totals.captures, expected.totals.captures);
        EXPECT_EQ(points[i + 1].totals.births, expected.totals.births);
        EXPECT_EQ(points[i + 1].totals.starvations, expected.totals.starvations);
        EXPECT_NEAR(points[i + 1].preyMeanGeneration, expected.preyMeanGeneration, 1e-6);
        EXPECT_EQ(points[i + 1].probeSpreadM, expected.probeSpreadM);
    }
    // A row that is not numbers ends what is read.
    const std::size_t second = text.find('\n', text.find('\n') + 1) + 1;
    std::string bad = text;
    bad.replace(text.find(',', second), 1, ",x");
    EXPECT_EQ(logRecords(bad).size(), 1u);
}

// A world taken back to tick 500 whose size changes there leaves the same files as a run
// that made that change at tick 500 in the first place.
TEST(WatchedRun, TheFolderOfARewoundRunIsThatOfTheRunWithTheChangeMadeFirstTime) {
    using testing::TempFolder;
    auto runTo = [](TempFolder& folder, bool rewind) {
        RunSettings settings;
        settings.folder = folder.path;
        settings.seed = 3;
        settings.logFile = folder / "log.csv";
        settings.archiveEvery = 200;
        settings.rewindable = true;
        RunFolder runFolder(settings);
        auto population = std::make_unique<Population>();
        ASSERT_TRUE(runFolder.lock() && runFolder.open(*population)) << runFolder.failure();
        // Six keyframes: the rewind reaches back to tick 500, and older rows are forgotten.
        WatchedRun run(*population, 6 * sizeof(Keyframe), {100, 1000, 500});
        run.start();
        while (run.tickNow() < (rewind ? 1000 : 500)) tickInFolder(run, runFolder);
        if (rewind) {
            ASSERT_TRUE(run.jumpTo(500));
        }
        run.requestSizeChange(false, true);
        while (run.tickNow() < 800) tickInFolder(run, runFolder);
        ASSERT_TRUE(runFolder.checkpoint(run.worldToSave()));
    };
    TempFolder first("rewind-first");
    TempFolder rewound("rewind-again");
    runTo(first, false);
    runTo(rewound, true);
    EXPECT_EQ(testing::readText(rewound / "log.csv"), testing::readText(first / "log.csv"));
    EXPECT_EQ(testing::readBytes(rewound / "genom.gen"), testing::readBytes(first / "genom.gen"));
    std::string why;
    const auto archive = readArchive(rewound / kArchiveFolderName, why);
    ASSERT_TRUE(archive) << why;
    ASSERT_EQ(archive->size(), 5u);  // 0 … 800: those of the discarded future are gone
    for (const Snapshot& snapshot : *archive)
        EXPECT_EQ(testing::readBytes(snapshot.path),
                  testing::readBytes(first / kArchiveFolderName / snapshot.path.filename()));
}

// Killed right after the future was discarded, the folder resumes exactly from the tick
// the world went back to, with the log cut there.
TEST(WatchedRun, AFolderKilledAfterTheFutureWasDiscardedResumesFromTheRewoundTick) {
    testing::TempFolder folder("rewind-killed");
    RunSettings settings;
    settings.folder = folder.path;
    settings.logFile = folder / "log.csv";
    settings.rewindable = true;
    {
        RunFolder runFolder(settings);
        auto population = std::make_unique<Population>();
        ASSERT_TRUE(runFolder.lock() && runFolder.open(*population)) << runFolder.failure();
        WatchedRun run(*population, 50 * sizeof(Keyframe), {100, 1000, 500});
        run.start();
        while (run.tickNow() < 900) tickInFolder(run, runFolder);
        ASSERT_TRUE(runFolder.checkpoint(*population));
        while (run.tickNow() < 1000) tickInFolder(run, runFolder);
        ASSERT_TRUE(run.jumpTo(450));
        run.requestSizeChange(true, false);
        tickInFolder(run, runFolder);
        while (run.tickNow() < 500) tickInFolder(run, runFolder);
    }  // no save at the end: as a kill -9
    RunFolder again(settings);
    auto population = std::make_unique<Population>();
    ASSERT_TRUE(again.lock() && again.open(*population)) << again.failure();
    EXPECT_TRUE(again.resumedExactly());
    EXPECT_EQ(population->world.tick, 450);
    EXPECT_EQ(population->world.preyCount, 150);
    const std::vector<LogRecord> rows = logRecords(testing::readText(folder / "log.csv"));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back().tick, 400);
}

}  // namespace
}  // namespace kav
