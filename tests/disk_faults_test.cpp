// kavrosa-evolve and kavrosa-soak against what the disk, the shell and other programs
// can hand them: tampered sidecars, names that are not UTF-8, signals, logs that fail or
// are not logs, outputs over the folder's own files and option values that are not ones.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "io/genome_file.h"
#include "io/run_folder.h"
#include "io/sidecar.h"
#include "io/time_series_log.h"
#include "test_files.h"

namespace kav {
namespace {

namespace fs = std::filesystem;
using testing::readText;
using testing::TempFolder;

struct Ended {
    int status = -1;  // the exit status, or -1 when a signal ended it
    std::string errors;
};

// Starts a program with exactly these arguments (no shell: any bytes, empty values),
// stderr into `errors`; `before` runs in the child before exec.
pid_t start(const char* program, const std::vector<std::string>& arguments, const fs::path& errors,
            const std::function<void()>& before = {}) {
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);
        ::dup2(::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        if (before) before();
        execv(program, argv.data());
        _exit(127);
    }
    return child;
}

Ended finish(pid_t child, const fs::path& errors) {
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(errors)};
}

Ended run(const TempFolder& scratch, const std::vector<std::string>& arguments,
          const char* program = KAVROSA_EVOLVE, const std::function<void()>& before = {}) {
    const fs::path errors = scratch / "stderr.txt";
    return finish(start(program, arguments, errors, before), errors);
}

bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The sidecar of a folder, checked to belong to the genom.gen beside it.
std::optional<Sidecar> savedPair(const fs::path& dir) {
    Population blank;
    blank.setupStandard();
    std::string why;
    const auto text = readTextFile(dir / kSidecarFileName, why);
    if (!text) return std::nullopt;
    auto sidecar = decodeSidecar(*text, blank.worldState(), why);
    const std::string genome = readText(dir / kGenomeFileName);
    if (!sidecar || genome.size() != std::size_t(kGenomeFileSize) ||
        crc32(reinterpret_cast<const unsigned char*>(genome.data()), genome.size()) !=
            sidecar->genomeChecksum)
        return std::nullopt;
    return sidecar;
}

TEST(DiskFaults, RefusedSidecarIsKeptAsideAndTheEvolutionGoesOnFromGenomGen) {
    TempFolder folder("tampered");
    const std::string dir = folder.path.string();
    ASSERT_EQ(run(folder, {"-C", dir, "--ticks", "400"}).status, 0);
    std::string text = readText(folder / kSidecarFileName);
    // A slot twice in the Prey's rank list (its second entry made its first): the tick
    // and the checksum still match.
    const std::size_t first = text.find("\"preyRanks\": [") + 14;
    const std::size_t second = text.find(',', first) + 1;
    const std::size_t third = text.find(',', second);
    text.replace(second, third - second, text.substr(first, second - 1 - first));
    testing::writeBytes(folder / kSidecarFileName, text.data(), text.size());
    const Ended resumed = run(folder, {"-C", dir, "--ticks", "100"});
    EXPECT_EQ(resumed.status, 0) << resumed.errors;
    EXPECT_NE(resumed.errors.find("cannot be used (preyRanks[1]"), std::string::npos)
        << resumed.errors;
    EXPECT_EQ(readText(folder / (std::string(kSidecarFileName) + ".rejected")), text);
    const auto saved = savedPair(folder.path);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->tick, 500);
}

TEST(DiskFaults, NamesThatAreNotUtf8AreSavedAndComeBack) {
    TempFolder scratch("bytes");
    const fs::path dir = scratch / "run\xff\xfe";
    fs::create_directory(dir);
    const std::string log = (dir / "log\xc3.csv").string();
    const Ended first = run(scratch, {"-C", dir.string(), "--ticks", "400", "--log", log});
    ASSERT_EQ(first.status, 0) << first.errors;
    EXPECT_FALSE(fs::exists(dir / "genom.gen.tmp"));
    const auto saved = savedPair(dir);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->runs.back().arguments, "-C " + dir.string() + " --ticks 400 --log " + log);
    EXPECT_EQ(run(scratch, {"-C", dir.string(), "--ticks", "200", "--log", log}).status, 0);
    EXPECT_EQ(parseLog(readText(log)).ticks.size(), 3u);
}

TEST(DiskFaults, EveryStopSignalFinishesTheTickAndSaves) {
    for (int signal :
         {SIGHUP, SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGTERM, SIGINT, SIGXFSZ}) {
        SCOPED_TRACE(sigabbrev_np(signal));
        TempFolder folder("signal");
        // The statistics file is written at tick 200: the run is then well in its ticks.
        std::ofstream(folder / "ivklsiker.txt").close();
        const fs::path errors = folder / "stderr.txt";
        const pid_t child =
            start(KAVROSA_EVOLVE, {"-C", folder.path.string(), "--save-every", "0"}, errors);
        ASSERT_TRUE(waitFor([&] { return fs::file_size(folder / "ivklsiker.txt") > 0; }));
        ASSERT_EQ(kill(child, signal), 0);
        const Ended ended = finish(child, errors);
        const bool asked = signal == SIGINT || signal == SIGTERM;
        EXPECT_EQ(ended.status, asked ? 0 : 4) << ended.errors;
        if (!asked) {
            EXPECT_NE(ended.errors.find(std::string("stopped by SIG") + sigabbrev_np(signal)),
                      std::string::npos)
                << ended.errors;
        }
        const auto saved = savedPair(folder.path);
        ASSERT_TRUE(saved);
        EXPECT_GE(saved->tick, 200);
        EXPECT_FALSE(fs::exists(folder / "genom.gen.tmp"));
    }
}

// A log of `rows` rows at ticks 1, 2, ...: whole rows, padded to make the file long.
std::string paddedLog(int rows) {
    std::string text = logHeader() + "\n";
    for (int r = 1; r <= rows; ++r)
        text += std::to_string(r) + "," + std::string(250, '0') + std::string(23, ',') + "\n";
    return text;
}

TEST(DiskFaults, LogWriteFailureIsAnErrorAndTheCheckpointIsStillWritten) {
    TempFolder folder("log-full");
    const std::string dir = folder.path.string();
    ASSERT_EQ(run(folder, {"-C", dir, "--ticks", "400"}).status, 0);
    const std::string log = paddedLog(400);  // longer than genom.gen and its sidecar
    testing::writeBytes(folder / "log.csv", log.data(), log.size());
    // No file may grow beyond the log's size: its next row cannot be written.
    const rlim_t limit = log.size();
    const Ended ended =
        run(folder, {"-C", dir, "--ticks", "1000", "--log", (folder / "log.csv").string()},
            KAVROSA_EVOLVE, [limit] {
                const rlimit size{limit, limit};
                setrlimit(RLIMIT_FSIZE, &size);
            });
    EXPECT_EQ(ended.status, 1) << ended.errors;
    EXPECT_NE(ended.errors.find("writing the log"), std::string::npos) << ended.errors;
    const auto saved = savedPair(folder.path);
    ASSERT_TRUE(saved);
    EXPECT_GT(saved->tick, 400);
}

TEST(DiskFaults, LogThatIsNotWholeIsRefusedAsItStands) {
    TempFolder folder("log-odd");
    std::string why;
    std::vector<std::string> notes;
    const std::string header = logHeader() + "\n";
    const std::string row = std::string(24, ',') + "\n";
    struct Case {
        std::string text;
        const char* said;  // in the reason; nullptr: accepted
    };
    const Case cases[] = {
        {header + "200" + row + "garbage\n400" + row, "line 3"},
        {header + "400" + row + "200" + row, "line 3"},
        {"precious notes without a line break", "not the header"},
        {header.substr(0, 20), nullptr},  // a torn header: dropped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const fs::path path = folder / "log.csv";
        testing::writeBytes(path, c.text.data(), c.text.size());
        TimeSeriesLog log;
        const bool opened = log.open(path, 1000, true, why, notes);
        EXPECT_EQ(opened, c.said == nullptr) << why;
        if (c.said) {
            EXPECT_NE(why.find(c.said), std::string::npos) << why;
            EXPECT_EQ(readText(path), c.text);
        }
    }
}

TEST(DiskFaults, LogRowsOfALostFutureAreTrimmedAsOnResume) {
    TempFolder folder("log-future");
    const std::string dir = folder.path.string();
    const std::string log = (folder / "log.csv").string();
    ASSERT_EQ(run(folder, {"-C", dir, "--ticks", "400"}).status, 0);  // saved without a log
    const fs::path errors = folder / "killed.txt";
    const pid_t child = start(KAVROSA_EVOLVE, {"-C", dir, "--log", log}, errors);
    ASSERT_TRUE(waitFor([&] {
        const LogContents rows = parseLog(readText(log));
        return !rows.ticks.empty() && rows.ticks.back() >= 1000;
    }));
    kill(child, SIGKILL);
    finish(child, errors);
    const Ended resumed = run(folder, {"-C", dir, "--ticks", "200", "--log", log});
    EXPECT_EQ(resumed.status, 0) << resumed.errors;
    EXPECT_NE(resumed.errors.find("dropping"), std::string::npos) << resumed.errors;
    const LogContents rows = parseLog(readText(log));
    ASSERT_FALSE(rows.ticks.empty());
    EXPECT_EQ(rows.ticks.back(), 600);
}

TEST(DiskFaults, OutputsNeverWriteOverTheFoldersFilesOrEachOther) {
    TempFolder folder("outputs");
    const std::string dir = folder.path.string();
    ASSERT_EQ(run(folder, {"-C", dir, "--ticks", "200"}).status, 0);
    const std::string genome = readText(folder / kGenomeFileName);
    const std::string sidecar = readText(folder / kSidecarFileName);
    const std::vector<std::vector<std::string>> clashes = {
        {"--dump", (folder / kGenomeFileName).string()},
        {"--log", dir + "/./" + kSidecarFileName},
        {"--dump", (folder / kLockFileName).string()},
        {"--dump", (folder / "out.csv").string(), "--log", (folder / "out.csv").string()},
    };
    for (std::vector<std::string> arguments : clashes) {
        arguments.insert(arguments.end(), {"-C", dir, "--ticks", "10"});
        const Ended ended = run(folder, arguments);
        EXPECT_EQ(ended.status, 2) << arguments[1];
        EXPECT_EQ(std::count(ended.errors.begin(), ended.errors.end(), '\n'), 1) << ended.errors;
    }
    EXPECT_EQ(readText(folder / kGenomeFileName), genome);
    EXPECT_EQ(readText(folder / kSidecarFileName), sidecar);
}

TEST(DiskFaults, OptionValuesThatAreNotOnesAreRefused) {
    TempFolder folder("options");
    const std::string dir = folder.path.string();
    for (const char* option : {"--ticks", "--seed", "--until", "-C", "--log", "--dump"}) {
        const Ended ended = run(folder, {option, ""});
        EXPECT_EQ(ended.status, 2) << option;
        EXPECT_NE(ended.errors.find(std::string(option) + " "), std::string::npos) << ended.errors;
    }
    EXPECT_EQ(run(folder, {"--ticks", "-1"}, KAVROSA_SOAK).status, 2);
    EXPECT_EQ(run(folder, {"--ticks", "5", "-C", dir + "/missing"}, KAVROSA_SOAK).status, 2);
    EXPECT_EQ(run(folder, {"--ticks", "5", "-C", dir}, KAVROSA_SOAK).status, 2);  // no genom.gen

    // A tick counter that would wrap: refused, the file left as it is.
    ASSERT_EQ(run(folder, {"-C", dir, "--ticks", "0"}).status, 0);
    std::string genome = readText(folder / kGenomeFileName);
    const std::int64_t nearTheEnd = std::numeric_limits<std::int64_t>::max() - 10;
    std::memcpy(genome.data() + kGenomeBlockSize, &nearTheEnd, 8);  // little-endian host
    testing::writeBytes(folder / kGenomeFileName, genome.data(), genome.size());
    const Ended ended = run(folder, {"-C", dir, "--ticks", "50"});
    EXPECT_EQ(ended.status, 2) << ended.errors;
    EXPECT_NE(ended.errors.find("beyond the limit"), std::string::npos) << ended.errors;
    EXPECT_EQ(readText(folder / kGenomeFileName), genome);
    EXPECT_EQ(run(folder, {"--ticks", "5", "-C", dir}, KAVROSA_SOAK).status, 2);
}

}  // namespace
}  // namespace kav
