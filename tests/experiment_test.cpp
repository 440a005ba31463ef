// The experiment tools of kavrosa-evolve against the real program: the time-series log,
// exact resume through the sidecar, the folder lock, and checkpoints under kill -9.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "io/genome_file.h"
#include "io/run_folder.h"
#include "io/sidecar.h"
#include "io/statistics_files.h"
#include "io/time_series_log.h"
#include "test_files.h"

namespace kav {
namespace {

namespace fs = std::filesystem;
using testing::readText;
using testing::TempFolder;

#ifdef KAVROSA_SLOW_BUILD
constexpr bool kSlowBuild = true;  // sanitizers: the program runs several times slower
#else
constexpr bool kSlowBuild = false;
#endif

struct Result {
    int status = -1;
    std::string errors;
};

// Runs kavrosa-evolve with the arguments (split at spaces); stderr is kept.
Result evolve(const std::string& arguments, const fs::path& scratch) {
    const fs::path errors = scratch / "stderr.txt";
    const std::string command =
        std::string(KAVROSA_EVOLVE) + " " + arguments + " > /dev/null 2> " + errors.string();
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(errors)};
}

pid_t spawn(const std::vector<std::string>& arguments) {
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv{const_cast<char*>(KAVROSA_EVOLVE)};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, STDOUT_FILENO);
        ::dup2(devnull, STDERR_FILENO);
        execv(KAVROSA_EVOLVE, argv.data());
        _exit(127);
    }
    return child;
}

std::vector<std::string> split(const std::string& line, char separator = ',') {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, separator);) fields.push_back(field);
    return fields;
}

std::vector<std::vector<std::string>> rowsOf(const std::string& log) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(log);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) rows.push_back(split(line));
    return rows;
}

// The sidecar of a folder, decoded against a blank world.
std::optional<Sidecar> sidecarIn(const fs::path& folder, std::string& why) {
    auto blank = std::make_unique<Population>();
    blank->setupStandard();
    const std::optional<std::string> text = readTextFile(folder / kSidecarFileName, why);
    if (!text) return std::nullopt;
    return decodeSidecar(*text, blank->worldState(), why);
}

// The tick of the folder's sidecar, read from its text; -1 when there is none. The
// sidecar is renamed into place whole, so a reader never sees half of one.
std::int64_t savedTick(const fs::path& folder) {
    const std::string text = readText(folder / kSidecarFileName);
    const std::string key = "\"tick\": ";
    const std::size_t at = text.find(key);
    if (at == std::string::npos) return -1;
    return std::strtoll(text.c_str() + at + key.size(), nullptr, 10);
}

TEST(ExperimentLog, HeaderAndOneRowPerReportWithTheReportsValues) {
    TempFolder folder("log");
    const std::string dir = folder.path.string();
    for (const char* name : {"ivklsiker.txt", "AiTesztE.txt", "AiTesztM.txt"})
        std::ofstream(folder / name).close();
    ASSERT_EQ(evolve("-C " + dir + " --ticks 2000 --seed 4 --log " + dir + "/log.csv", folder.path)
                  .status,
              0);
    const std::string log = readText(folder / "log.csv");
    EXPECT_EQ(log.substr(0, log.find('\n')), logHeader());
    const auto rows = rowsOf(log);
    ASSERT_EQ(rows.size(), 10u);
    const std::vector<std::string> columns = split(logHeader());
    auto column = [&](const char* name) {
        return std::size_t(std::find(columns.begin(), columns.end(), name) - columns.begin());
    };
    long long captures = 0, preyBirths = 0, predatorBirths = 0, starvations = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].size(), columns.size());
        EXPECT_EQ(rows[r][0], std::to_string(200 * (r + 1)));
        EXPECT_EQ(rows[r][column("predators")], "10");
        EXPECT_EQ(rows[r][column("prey")], "150");
        EXPECT_EQ(rows[r][column("clonalRankPct")], "nan");  // no Prey is ever clonal
        captures += std::stoll(rows[r][column("captures")]);
        preyBirths += std::stoll(rows[r][column("preyBirths")]);
        predatorBirths += std::stoll(rows[r][column("predatorBirths")]);
        starvations += std::stoll(rows[r][column("starvations")]);
        EXPECT_GE(std::stod(rows[r][column("preyMeanGeneration")]), 1.0);
    }
    // The rows count events since the previous row: together, the totals since the start.
    std::string why;
    const auto sidecar = sidecarIn(folder.path, why);
    ASSERT_TRUE(sidecar) << why;
    EXPECT_EQ(captures, sidecar->world.events.captures);
    EXPECT_EQ(preyBirths, sidecar->world.events.preyBirths);
    EXPECT_EQ(predatorBirths, sidecar->world.events.predatorBirths);
    EXPECT_EQ(starvations, sidecar->world.events.starvations);
    EXPECT_GT(captures, 0);

    // The last row holds the values of the statistics files of the same report.
    const auto& last = rows.back();
    const float spreadE = std::stof(last[column("probeESpread")]);
    const float meanMY = std::stof(last[column("probeMMeanY")]);
    const float sexual = std::stof(last[column("sexualRankPct")]);
    EXPECT_EQ(readText(folder / "AiTesztE.txt").substr(22, 10), fixedField("%.8f", spreadE, 10));
    EXPECT_EQ(readText(folder / "AiTesztM.txt").substr(11, 10), fixedField("%.8f", meanMY, 10));
    EXPECT_EQ(readText(folder / "ivklsiker.txt").substr(5, 4), fixedField("%.4f", sexual, 4));

    // A resumed run appends without a second header; --log-every thins the rows out; the
    // sizes asked for are reached one Agent per tick.
    ASSERT_EQ(
        evolve("-C " + dir + " --ticks 1200 --log-every 600 --predators 12 --prey 140 --log " +
                   dir + "/log.csv",
               folder.path)
            .status,
        0);
    const auto more = rowsOf(readText(folder / "log.csv"));
    ASSERT_EQ(more.size(), 12u);
    EXPECT_EQ(more[10][0], "2400");
    EXPECT_EQ(more[11][0], "3000");
    EXPECT_EQ(more[11][column("predators")], "12");
    EXPECT_EQ(more[11][column("prey")], "140");
    const Result tooMany = evolve("-C " + dir + " --prey 201", folder.path);
    EXPECT_EQ(tooMany.status, 2);
    EXPECT_EQ(tooMany.errors,
              "kavrosa-evolve: --prey must be a whole number from 1 to 200 (not \"201\")\n");
}

TEST(ExperimentResume, TwoRunsGiveTheFilesOfOneAndAStrangerIsReported) {
    TempFolder whole("whole"), split("split");
    auto files = [](const TempFolder& f) {
        return "-C " + f.path.string() + " --log " + (f / "log.csv").string();
    };
    ASSERT_EQ(
        evolve(files(whole) + " --ticks 2000 --seed 7 --dump " + (whole / "dump.csv").string(),
               whole.path)
            .status,
        0);
    ASSERT_EQ(evolve(files(split) + " --ticks 1000 --seed 7", split.path).status, 0);
    const std::string halfway = readText(split / "genom.gen");
    // An explicit seed does not restart the random state of a resumed evolution.
    const Result second =
        evolve(files(split) + " --ticks 1000 --seed 99 --dump " + (split / "dump.csv").string(),
               split.path);
    ASSERT_EQ(second.status, 0);
    EXPECT_NE(second.errors.find("the seed 99 is not used"), std::string::npos) << second.errors;
    for (const char* name : {"genom.gen", "dump.csv", "log.csv"})
        EXPECT_EQ(readText(whole / name), readText(split / name)) << name;

    std::string why;
    const auto sidecar = sidecarIn(split.path, why);
    ASSERT_TRUE(sidecar) << why;
    EXPECT_EQ(sidecar->seed, 7u);
    ASSERT_EQ(sidecar->runs.size(), 2u);
    EXPECT_EQ(sidecar->runs[1].startTick, 1000);
    EXPECT_EQ(sidecar->runs[1].endTick, 2000);

    // An older genom.gen beside the sidecar: said in one line, the world starts anew from
    // the seed, and the log keeps its rows up to that tick.
    testing::writeBytes(split / "genom.gen", halfway.data(), halfway.size());
    const std::string logBefore = readText(split / "log.csv");
    const Result stranger = evolve("-C " + split.path.string() + " --ticks 0 --seed 5", split.path);
    EXPECT_EQ(stranger.status, 0);
    EXPECT_NE(stranger.errors.find("does not match its sidecar"), std::string::npos);
    EXPECT_NE(stranger.errors.find("seed 5"), std::string::npos) << stranger.errors;
    // The sidecar it did not use is kept aside, not replaced.
    EXPECT_EQ(std::count(stranger.errors.begin(), stranger.errors.end(), '\n'), 2);
    EXPECT_NE(stranger.errors.find("kept as"), std::string::npos) << stranger.errors;
    EXPECT_TRUE(fs::exists(split / (std::string(kSidecarFileName) + ".rejected")));
    // The log now reaches past the evolution in the folder, which was saved by a run
    // without a log: its rows are another evolution's and are not dropped.
    const Result ahead = evolve(files(split) + " --ticks 0", split.path);
    EXPECT_EQ(ahead.status, 2);
    EXPECT_NE(ahead.errors.find("another evolution"), std::string::npos) << ahead.errors;
    EXPECT_EQ(readText(split / "log.csv"), logBefore);

    // A genom.gen without its sidecar is said by the program that reads it.
    fs::remove(split / kSidecarFileName);
    const Result alone = evolve("-C " + split.path.string() + " --ticks 0", split.path);
    EXPECT_EQ(alone.status, 0);
    const std::string said =
        "kavrosa-evolve: " + (split / "genom.gen").string() + " has no sidecar";
    EXPECT_EQ(alone.errors.rfind(said, 0), 0u) << alone.errors;
}

TEST(ExperimentLock, SecondProgramRefusedAndAKilledHolderBlocksNothing) {
    TempFolder folder("lock");
    const std::string dir = folder.path.string();
    const pid_t first = spawn({"-C", dir, "--ticks", "100000000"});
    ASSERT_GT(first, 0);
    // The holder writes its process id into the lock file once it holds the lock.
    const auto holding = [&] {
        return readText(folder / kLockFileName).rfind(std::to_string(first) + " ", 0) == 0;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!holding() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!holding()) kill(first, SIGKILL);
    ASSERT_TRUE(holding()) << "the first program took no lock within two minutes";
    const auto started = std::chrono::steady_clock::now();
    const Result second = evolve("-C " + dir + " --ticks 10", folder.path);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));  // at once
    EXPECT_EQ(second.status, 3);
    EXPECT_NE(
        second.errors.find("folder " + dir + " is in use by process " + std::to_string(first)),
        std::string::npos)
        << second.errors;
    ASSERT_EQ(kill(first, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(first, &status, 0), first);
    const Result third = evolve("-C " + dir + " --ticks 10", folder.path);
    EXPECT_EQ(third.status, 0) << third.errors;
}

// After a kill: a genom.gen that loads, a sidecar that belongs to it (or to the
// genom.gen.tmp that the next start completes), and a log of whole rows but for a torn
// last line.
::testing::AssertionResult filesUsable(const fs::path& dir) {
    const std::string genome = readText(dir / kGenomeFileName);
    if (!genome.empty() || fs::exists(dir / kGenomeFileName)) {
        const auto decoded = decodeGenomeFile(reinterpret_cast<const unsigned char*>(genome.data()),
                                              genome.size(), "genom.gen");
        if (!decoded.evolution || !decoded.notes.empty())
            return ::testing::AssertionFailure() << "genom.gen of " << genome.size() << " bytes";
    }
    std::string why;
    const auto sidecar = sidecarIn(dir, why);
    if (!sidecar && why != "there is none")
        return ::testing::AssertionFailure() << "sidecar: " << why;
    if (sidecar) {
        bool matched = false;
        for (const char* name : {"genom.gen", "genom.gen.tmp"}) {
            const std::string bytes = readText(dir / name);
            matched = matched || crc32(reinterpret_cast<const unsigned char*>(bytes.data()),
                                       bytes.size()) == sidecar->genomeChecksum;
        }
        if (!matched) return ::testing::AssertionFailure() << "the sidecar matches no genom.gen";
    }
    const std::string log = readText(dir / "log.csv");
    const LogContents parsed = parseLog(log);
    const std::size_t whole = parsed.rowEnds.empty() ? parsed.headerEnd : parsed.rowEnds.back();
    if (!log.empty() && parsed.hasHeader && log.find('\n', whole) != std::string::npos)
        return ::testing::AssertionFailure() << "a log line that is not a row after byte " << whole;
    if (!log.empty() && !parsed.hasHeader && log.find('\n') != std::string::npos)
        return ::testing::AssertionFailure() << "a log without its header";
    return ::testing::AssertionSuccess();
}

TEST(ExperimentCheckpoints, KillNineAtAHundredMomentsLosesNothing) {
    TempFolder killed("killed"), calm("calm");
    auto arguments = [&](const TempFolder& f, const char* saveEvery, std::int64_t until) {
        return std::vector<std::string>{"-C",           f.path.string(),
                                        "--until",      std::to_string(until),
                                        "--save-every", saveEvery,
                                        "--seed",       "11",
                                        "--log",        (f / "log.csv").string()};
    };
    // The starts are killed at two kinds of moments in turn: some time after the start of
    // the program (loading, the first save, the first ticks, as far as the machine gets),
    // and some time after the start has been seen to get on, when its sidecar names a
    // later tick than the one it started from (into its ticks and checkpoints, which are
    // every 200 ticks). Waiting for that rather than for a time keeps the evolution going
    // between the kills however busy the machine is. The run's end is far beyond what it
    // reaches before the last kill.
    std::mt19937 moments(20261209);
    std::uniform_int_distribution<int> delayUs(1000, kSlowBuild ? 200000 : 80000);
    std::uniform_int_distribution<int> afterProgressUs(0, kSlowBuild ? 100000 : 30000);
    const auto patience = std::chrono::minutes(kSlowBuild ? 5 : 2);
    int kills = 0;
    for (; kills < 110; ++kills) {
        const bool waitForProgress = kills % 2 == 1;
        const std::int64_t before = std::max<std::int64_t>(savedTick(killed.path), 0);
        const pid_t child = spawn(arguments(killed, "200", 100'000'000));
        ASSERT_GT(child, 0);
        if (waitForProgress) {
            const auto giveUp = std::chrono::steady_clock::now() + patience;
            std::int64_t seen = before;
            while ((seen = savedTick(killed.path)) <= before &&
                   std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (seen <= before) {
                kill(child, SIGKILL);
                waitpid(child, nullptr, 0);
            }
            ASSERT_GT(seen, before) << "start " << kills + 1 << " saved no checkpoint after tick "
                                    << before << " in " << patience.count() << " minutes";
            std::this_thread::sleep_for(std::chrono::microseconds(afterProgressUs(moments)));
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs(moments)));
        }
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "start " << kills + 1 << " ended by itself";
        ASSERT_TRUE(filesUsable(killed.path)) << "after kill " << kills + 1;
    }
    std::string why;
    const auto sidecar = sidecarIn(killed.path, why);
    ASSERT_TRUE(sidecar) << why;
    EXPECT_GE(sidecar->tick, 1000) << "the runs did not get on between the kills";
    std::printf("%d kills; the evolution reached tick %lld\n", kills,
                static_cast<long long>(sidecar->tick));

    // Completed, the killed evolution is the one that was never interrupted.
    const std::int64_t end = sidecar->tick + 1000;
    auto finish = [&](const TempFolder& f) {
        std::string line = "--dump " + (f / "dump.csv").string();
        for (const std::string& a : arguments(f, "0", end)) line += " " + a;
        return evolve(line, f.path);
    };
    ASSERT_EQ(finish(killed).status, 0);
    ASSERT_EQ(finish(calm).status, 0);
    for (const char* name : {"genom.gen", "log.csv", "dump.csv"})
        EXPECT_TRUE(readText(killed / name) == readText(calm / name)) << name;
    EXPECT_EQ(rowsOf(readText(calm / "log.csv")).size(), std::size_t(end / 200));
}

TEST(ExperimentFiles, SidecarKeepsEveryBitAndRefusesOtherText) {
    auto population = std::make_unique<Population>();
    population->setupStandard();
    for (int t = 0; t < 300; ++t) population->runTick();
    WorldState state = population->worldState();
    state.prey[3].x = -0.0f;
    state.prey[4].energy = std::nanf("");
    state.predators[2].heading = -INFINITY;
    Sidecar sidecar;
    sidecar.world = state;
    sidecar.tick = 300;
    sidecar.genomeChecksum = 0x0badf00d;
    sidecar.runs.push_back({"kavrosa", 0, 300, "a", "b", "--x \"y\"", {}});
    sidecar.runs.push_back({"kavrosa", 300, 300, "a", "b", "", {{"motion.drag", "0.1", "0.125"}}});
    sidecar.settings.drag = 0.125f;
    sidecar.settings.predatorStarvationTicks = 7;
    std::string why;
    const auto back = decodeSidecar(encodeSidecar(sidecar), population->worldState(), why);
    ASSERT_TRUE(back) << why;
    EXPECT_EQ(encodeSidecar(*back), encodeSidecar(sidecar));
    EXPECT_EQ(std::memcmp(&back->world.prey[3].x, &state.prey[3].x, 4), 0);
    EXPECT_TRUE(std::isnan(back->world.prey[4].energy));
    EXPECT_EQ(back->genomeChecksum, 0x0badf00du);
    EXPECT_EQ(back->settings.drag, 0.125f);
    EXPECT_EQ(back->settings.predatorStarvationTicks, 7);
    ASSERT_EQ(back->runs.at(1).changes.size(), 1u);
    EXPECT_EQ(back->runs[1].changes[0].to, "0.125");

    std::string text = encodeSidecar(sidecar);
    EXPECT_FALSE(decodeSidecar(text.substr(0, text.size() / 2), state, why));
    text.insert(text.find("\"preyRanks\": [") + 14, "99");  // slot 990
    EXPECT_FALSE(decodeSidecar(text, state, why));
    EXPECT_FALSE(decodeSidecar("{\"format\": \"other\"}", state, why));

    const unsigned char check[] = "123456789";
    EXPECT_EQ(crc32(check, 9), 0xCBF43926u);  // the standard check value
}

}  // namespace
}  // namespace kav
