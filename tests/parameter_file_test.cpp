#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <unistd.h>

#include "io/parameter_file.h"
#include "sim/model_parameters.h"

namespace kav {
namespace {

class ParameterFile : public ::testing::Test {
protected:
    std::filesystem::path file = std::filesystem::temp_directory_path() /
                                 ("kavrosa-params-" + std::to_string(::getpid()) + ".toml");
    void TearDown() override { std::filesystem::remove(file); }
    void write(const std::string& text) { std::ofstream(file) << text; }
};

TEST_F(ParameterFile, TablesAndDottedKeysThenSetsWhichWin) {
    write(
        "# a study\n"
        "motion.drag = 0.2\n"
        "[predator]\n"
        "radius = 0.03\n"
        "starvation_ticks = 80\n"
        "[arena]\n"
        "x_max = 6\n");
    ModelSettings settings;
    std::string why;
    ASSERT_TRUE(
        applyParameters(settings, {file, {"predator.radius=0.04", "prey.radius=0.06"}}, why))
        << why;
    EXPECT_EQ(settings.drag, 0.2f);
    EXPECT_EQ(settings.predatorRadius, 0.04f);
    EXPECT_EQ(settings.preyRadius, 0.06f);
    EXPECT_EQ(settings.predatorStarvationTicks, 80);
    EXPECT_EQ(settings.arena.xMax, 6.0f);

    const auto changes = parameterChanges(ModelSettings{}, settings);
    ASSERT_EQ(changes.size(), 5u);
    EXPECT_EQ(changes[0].name, "arena.x_max");
    EXPECT_EQ(changes[0].from, "5");
    EXPECT_EQ(changes[0].to, "6");
}

TEST_F(ParameterFile, RefusalsNameTheLineOrTheOptionAndChangeNothing) {
    const ModelSettings defaults;
    const struct {
        const char* file;
        std::vector<std::string> sets;
        const char* says;
    } cases[] = {
        {"motion.drag = 0.2\nprey.radus = 0.1\n", {}, ":2: unknown parameter \"prey.radus\""},
        {"[prey]\nradius = \"big\"\n", {}, "line 2: prey.radius is not a number"},
        {"motion.drag = = 1\n", {}, ":1: "},
        {"motion.drag = 20\n", {}, ":1: motion.drag = \"20\" is out of its range"},
        {"", {"motion.drag"}, "--set motion.drag: give NAME=VALUE"},
        {"", {"motion.drag=fast"}, "--set: motion.drag = \"fast\" is not a number"},
        {"", {"arena.x_min=5"}, "arena.x_min = 5 and arena.x_max = 5"},
    };
    for (const auto& c : cases) {
        write(c.file);
        ModelSettings settings;
        std::string why;
        EXPECT_FALSE(applyParameters(settings, {file, c.sets}, why)) << c.file;
        EXPECT_NE(why.find(c.says), std::string::npos) << why;
        EXPECT_EQ(std::memcmp(&settings, &defaults, sizeof settings), 0) << c.file;
    }
    ModelSettings settings;
    std::string why;
    EXPECT_FALSE(applyParameters(settings, {file.string() + ".missing", {}}, why));
    EXPECT_NE(why.find(".missing"), std::string::npos) << why;
}

TEST(ParameterList, JsonListsEveryParameterWithItsDefault) {
    const auto list = nlohmann::json::parse(parameterList(true));
    ASSERT_EQ(list.size(), modelParameters().size());
    EXPECT_EQ(list[0]["name"], "arena.x_min");
    EXPECT_EQ(list[0]["default"], -5.0);
    EXPECT_EQ(list[9]["name"], "predator.starvation_ticks");
    EXPECT_EQ(list[9]["default"], 50);
    EXPECT_NE(parameterList(false).find("reproduction.mutation_amplitude  0.05"),
              std::string::npos);
}

}  // namespace
}  // namespace kav
