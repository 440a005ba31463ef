// End-to-end runs of kavrosa-evolve in temporary folders.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <vector>

#include "sim/random.h"
#include "test_files.h"
#include "test_world.h"

namespace kav {
namespace {

using testing::readText;
using testing::TempFolder;

int runEvolve(const std::string& arguments, const std::filesystem::path& errors = "/dev/null") {
    const std::string command =
        std::string(KAVROSA_EVOLVE) + " " + arguments + " 2> " + errors.string();
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Evolve, ZeroTicksWritesAFreshGenomeFile) {
    TempFolder folder("evolve-zero");
    ASSERT_EQ(runEvolve("--ticks 0 -C " + folder.path.string()), 0);
    const std::string bytes = readText(folder / "genom.gen");
    ASSERT_EQ(bytes.size(), 60496u);
    Random replay;
    for (int i = 0; i < 720; ++i) replay.next();
    const float expected = static_cast<float>(replay.next() / 32768.0 - 0.5);
    std::uint32_t bits = 0;
    for (int b = 0; b < 4; ++b)
        bits |= std::uint32_t(static_cast<unsigned char>(bytes[b])) << (8 * b);
    EXPECT_EQ(bits, testing::bitsOf(expected));
    EXPECT_EQ(bytes.substr(60480), std::string("\0\0\0\0\0\0\0\0\x0a\0\0\0\x96\0\0\0", 16));
}

TEST(Evolve, SameSeedSameFilesAndTheWorldEvolves) {
    // The second run on the four-lane path, the first on the widest this machine runs.
    TempFolder a("evolve-a"), b("evolve-b");
    for (const TempFolder* f : {&a, &b}) {
        for (const char* name : {"ivklsiker.txt", "AiTesztE.txt", "AiTesztM.txt"})
            std::ofstream(*f / name).close();
        ASSERT_EQ(runEvolve("--ticks 2000 --seed 3 -C " + f->path.string() + " --dump " +
                            (*f / "dump.csv").string() + (f == &b ? " --vector sse2" : "")),
                  0);
    }
    for (const char* name :
         {"genom.gen", "ivklsiker.txt", "AiTesztE.txt", "AiTesztM.txt", "dump.csv"})
        EXPECT_EQ(readText(a / name), readText(b / name)) << name;

    EXPECT_EQ(readText(a / "ivklsiker.txt").substr(10), "2000" + std::string(16, ' '));
    EXPECT_EQ(readText(a / "AiTesztM.txt").size(), 64u);

    std::istringstream dump(readText(a / "dump.csv"));
    std::string line;
    std::getline(dump, line);
    EXPECT_EQ(line,
              "kind,slot,inUse,rank,generation,age,x,y,vx,vy,nextX,nextY,nextVx,nextVy,energy,"
              "heading,prevHeading,catches,ticksSinceCatch,digestTimer,captured,dead,hitWall");
    long long predatorBirths = 0, preyBirths = 0;
    int rows = 0;
    while (std::getline(dump, line)) {
        ++rows;
        std::vector<std::string> field;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) field.push_back(cell);
        ASSERT_EQ(field.size(), 23u) << line;
        if (field[2] != "1") continue;
        const long long births = std::stoll(field[4]) - 1;
        (field[0] == "predator" ? predatorBirths : preyBirths) += births;
    }
    EXPECT_EQ(rows, 240);
    EXPECT_GT(predatorBirths, 0);
    EXPECT_GT(preyBirths, 0);

    // A second run continues the tick counter from the file.
    ASSERT_EQ(runEvolve("--ticks 200 -C " + a.path.string()), 0);
    EXPECT_EQ(readText(a / "ivklsiker.txt").substr(10), "2200" + std::string(16, ' '));
}

TEST(Evolve, BadArgumentsAndFoldersExitWithTwo) {
    TempFolder folder("evolve-bad");
    const auto message = folder / "message.txt";
    EXPECT_EQ(runEvolve("--ticks -5", message), 2);
    EXPECT_EQ(readText(message),
              "kavrosa-evolve: --ticks must be a whole number \u2265 0 (not \"-5\")\n");
    // A dump that could not be written is refused before the run, not after it.
    EXPECT_EQ(runEvolve("--ticks 100000000 -C " + folder.path.string() + " --dump " +
                            (folder / "missing" / "dump.csv").string(),
                        message),
              2);
    EXPECT_NE(readText(message).find("does not exist"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder / "genom.gen"));
    EXPECT_EQ(runEvolve("--ticks many"), 2);
    EXPECT_EQ(runEvolve("--ticks 1 --vector mmx -C " + folder.path.string(), message), 2);
    EXPECT_EQ(readText(message),
              "kavrosa-evolve: --vector must be scalar, sse2, avx2 or avx512 (not \"mmx\")\n");
    EXPECT_EQ(runEvolve("--frobnicate"), 2);
    const auto errors = folder / "errors.txt";
    EXPECT_EQ(runEvolve("--ticks 1 -C " + (folder / "missing").string(), errors), 2);
    EXPECT_NE(readText(errors).find("missing"), std::string::npos);
    std::ofstream(folder / "plain").close();
    EXPECT_EQ(runEvolve("--ticks 1 -C " + (folder / "plain").string()), 2);
}

TEST(Evolve, SigtermFinishesTheTickSavesAndExitsZero) {
    TempFolder folder("evolve-term");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string dir = folder.path.string();
        execl(KAVROSA_EVOLVE, KAVROSA_EVOLVE, "-C", dir.c_str(), "--save-every", "1000",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // Signalled once it is seen to be running its ticks (its first checkpoint is on disk),
    // however long the start takes on a busy machine.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!std::filesystem::exists(folder / "genom.gen") &&
           std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(kill(child, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string bytes = readText(folder / "genom.gen");
    ASSERT_EQ(bytes.size(), 60496u);
    long long tick = 0;
    for (int b = 7; b >= 0; --b) tick = tick * 256 + static_cast<unsigned char>(bytes[60480 + b]);
    EXPECT_GT(tick, 0);
}

TEST(Evolve, FailedSaveExitsNonZeroAndKeepsTheOldFile) {
    TempFolder folder("evolve-full");
    ASSERT_EQ(runEvolve("--ticks 0 -C " + folder.path.string()), 0);
    const std::string before = readText(folder / "genom.gen");
    std::filesystem::create_symlink("/dev/full", folder / "genom.gen.tmp");
    const auto errors = folder / "errors.txt";
    EXPECT_EQ(runEvolve("--ticks 50 -C " + folder.path.string(), errors), 1);
    EXPECT_NE(readText(errors).find("failed"), std::string::npos) << readText(errors);
    EXPECT_EQ(readText(folder / "genom.gen"), before);
}

}  // namespace
}  // namespace kav
