// Model parameters through kavrosa-evolve: stored with the evolution, exact across a split
// run, changed and recorded on resume, and every kind of bad value refused with nothing
// written.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "evo/population.h"
#include "io/sidecar.h"
#include "test_files.h"

namespace kav {
namespace {

namespace fs = std::filesystem;
using testing::readText;
using testing::TempFolder;

struct Result {
    int status = -1;
    std::string errors;
};

Result evolve(const std::string& arguments, const fs::path& scratch) {
    const fs::path errors = scratch.parent_path() / (scratch.filename().string() + ".stderr");
    const std::string command =
        std::string(KAVROSA_EVOLVE) + " " + arguments + " > /dev/null 2> " + errors.string();
    const int status = std::system(command.c_str());
    const std::string text = readText(errors);
    fs::remove(errors);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

std::optional<Sidecar> sidecarIn(const fs::path& folder, std::string& why) {
    auto blank = std::make_unique<Population>();
    blank->setupStandard();
    const std::optional<std::string> text = readTextFile(folder / kSidecarFileName, why);
    if (!text) return std::nullopt;
    return decodeSidecar(*text, blank->worldState(), why);
}

// Every file of a folder but the lock, by name, with its bytes (the archive's included).
std::vector<std::pair<std::string, std::string>> filesOf(const fs::path& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename() != "kavrosa.lock")
            files.emplace_back(fs::relative(entry.path(), folder).string(), readText(entry.path()));
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ParametersEndToEnd, ASplitRunKeepsItsSettingsAndGivesTheFilesOfOne) {
    TempFolder whole("whole"), split("split");
    std::ofstream(whole / "model.toml") << "[predator]\nstarvation_ticks = 20\n"
                                           "[reproduction]\nmutation_amplitude = 0.4\n";
    const std::string model = " --params " + (whole / "model.toml").string() +
                              " --set arena.x_max=7 --set prey.sense_range=1.5";
    auto files = [](const TempFolder& f) {
        return "-C " + f.path.string() + " --log " + (f / "log.csv").string() +
               " --archive-every 1000 --save-every 700";
    };
    ASSERT_EQ(evolve(files(whole) + model + " --until 3000", whole.path).status, 0);
    ASSERT_EQ(evolve(files(split) + model + " --until 1500", split.path).status, 0);
    // Resumed without the parameters: the evolution goes on with its own.
    ASSERT_EQ(evolve(files(split) + " --until 3000", split.path).status, 0);
    fs::remove(whole / "model.toml");
    const auto a = filesOf(whole.path), b = filesOf(split.path);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].first, b[i].first);
        // The sidecar differs in its history of runs only.
        if (a[i].first != kSidecarFileName) {
            EXPECT_TRUE(a[i].second == b[i].second) << a[i].first;
        }
    }
    EXPECT_TRUE(fs::exists(split / "archive" / "genom-000003000.gen"));

    std::string why;
    const auto sidecar = sidecarIn(split.path, why);
    ASSERT_TRUE(sidecar) << why;
    EXPECT_EQ(sidecar->settings.predatorStarvationTicks, 20);
    EXPECT_EQ(sidecar->settings.mutationAmplitude, 0.4f);
    EXPECT_EQ(sidecar->settings.arena.xMax, 7.0f);
    EXPECT_EQ(sidecar->settings.preySenseRange, 1.5f);
    EXPECT_TRUE(sidecar->runs.at(1).changes.empty());

    // A --set on the resumed evolution changes it from that tick on, in its history.
    const Result changed = evolve("-C " + split.path.string() +
                                      " --ticks 200 --set motion.drag=0.2 --set "
                                      "predator.starvation_ticks=20",
                                  split.path);
    ASSERT_EQ(changed.status, 0) << changed.errors;
    EXPECT_NE(changed.errors.find("motion.drag changes from 0.1 to 0.2 at tick 3000"),
              std::string::npos)
        << changed.errors;
    const auto after = sidecarIn(split.path, why);
    ASSERT_TRUE(after) << why;
    EXPECT_EQ(after->settings.drag, 0.2f);
    ASSERT_EQ(after->runs.size(), 3u);
    ASSERT_EQ(after->runs[2].changes.size(), 1u);  // the starvation limit did not change
    EXPECT_EQ(after->runs[2].startTick, 3000);
    EXPECT_EQ(after->runs[2].changes[0].name, "motion.drag");
    EXPECT_EQ(after->runs[2].changes[0].from, "0.1");
    EXPECT_EQ(after->runs[2].changes[0].to, "0.2");
}

TEST(ParametersEndToEnd, BadValuesAreRefusedWithOneLineAndNothingWritten) {
    TempFolder folder("refusals");
    std::ofstream(folder / "bad.toml") << "motion.drag = 0.2\nprey.radius = \"big\"\n";
    const struct {
        std::string arguments;
        std::string said;
    } cases[] = {
        {"--set predator.radus=0.1", "nearest: predator.radius"},
        {"--set motion.drag=fast", "motion.drag"},
        {"--set motion.drag=nan", "motion.drag"},
        {"--set motion.drag=11", "motion.drag"},
        {"--set predator.starvation_ticks=2.5", "predator.starvation_ticks"},
        {"--set predator.radius=0", "predator.radius"},
        {"--set arena.x_min=5", "arena.x_min"},
        {"--set motion.drag", "motion.drag"},
        {"--params " + (folder / "bad.toml").string(), "bad.toml: line 2: prey.radius"},
        {"--params " + (folder / "missing.toml").string(), "missing.toml"},
    };
    const fs::path run = folder / "run";
    fs::create_directory(run);
    for (const auto& c : cases) {
        const Result result = evolve("-C " + run.string() + " --ticks 10 --log " +
                                         (run / "log.csv").string() + " " + c.arguments,
                                     run);
        EXPECT_EQ(result.status, 2) << c.arguments;
        EXPECT_NE(result.errors.find(c.said), std::string::npos) << c.arguments << result.errors;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
        EXPECT_TRUE(fs::is_empty(run)) << c.arguments;
    }

    // On a resumed evolution: an arena that no longer holds its Agents is refused, and the
    // folder is left as it was.
    ASSERT_EQ(evolve("-C " + run.string() + " --ticks 300", run).status, 0);
    const auto before = filesOf(run);
    const Result shrunk = evolve("-C " + run.string() + " --ticks 10 --set arena.x_max=-3", run);
    EXPECT_EQ(shrunk.status, 2);
    EXPECT_NE(shrunk.errors.find("arena.x_max = -3: the arena does not hold"), std::string::npos)
        << shrunk.errors;
    EXPECT_TRUE(filesOf(run) == before);
}

}  // namespace
}  // namespace kav
