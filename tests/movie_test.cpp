// The movie encoder's side that needs no display: the frame size option, finding ffmpeg,
// and the pipe with its temporary file, driven by stand-ins for ffmpeg.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/movie.h"
#include "test_files.h"

namespace kav {
namespace {

TEST(MovieSize, EvenSizesFrom64x64To3840x2160) {
    std::string why;
    for (const char* good : {"64x64", "800x600", "3840x2160"}) {
        const std::optional<MovieSize> size = parseMovieSize(good, why);
        ASSERT_TRUE(size) << good << ": " << why;
    }
    EXPECT_EQ(parseMovieSize("3840x2160", why)->width, 3840);
    EXPECT_EQ(parseMovieSize("3840x2160", why)->height, 2160);
    for (const char* bad :
         {"62x64", "64x62", "3842x2160", "3840x2162", "801x600", "800x601", "800", "x600", "800x",
          "800x600x2", "-800x600", "800X600", "999999999x600", ""}) {
        EXPECT_FALSE(parseMovieSize(bad, why)) << bad;
    }
}

class MovieFolder : public ::testing::Test {
protected:
    // A folder of its own: CTest runs the tests side by side.
    void SetUp() override { std::filesystem::create_directories(folder / "bin"); }

    std::string standIn(const std::string& name, const std::string& script) {
        const std::filesystem::path path = folder / "bin" / name;
        std::ofstream(path) << "#!/bin/sh\n" << script;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return path.string();
    }
    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().filename() != "bin") names.push_back(entry.path().filename());
        return names;
    }
    static std::string contents(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    testing::TempFolder temporary{"movie"};
    std::filesystem::path folder = temporary.path;
};

TEST_F(MovieFolder, FindsOnlyAnExecutableFileOnThePath) {
    std::ofstream(folder / "ffmpeg") << "not executable";
    const std::string program = standIn("ffmpeg", "exit 0\n");
    const std::string path = folder.string() + ":" + (folder / "bin").string();
    EXPECT_EQ(findProgram("ffmpeg", path.c_str()), program);
    EXPECT_EQ(findProgram("ffmpeg", folder.string().c_str()), "");
    EXPECT_EQ(findProgram("bin", folder.string().c_str()), "") << "a folder is no program";
}

// The stand-in keeps what it is sent in its output file, the last argument.
TEST_F(MovieFolder, FramesArriveAsRgbTopRowFirstAndTheMovieAppearsOnlyWhenFinished) {
    const std::string keep = standIn("keep", "for output; do :; done\ncat > \"$output\"\n");
    const std::filesystem::path movie = folder / "m.mp4";
    MovieEncoder encoder;
    std::string why;
    ASSERT_TRUE(encoder.start(keep, movie, {2, 2}, why)) << why;
    // A picture of 3 x 3 as OpenGL reads it, bottom row first; the movie takes its top left
    // 2 x 2, top row first.
    std::vector<std::uint8_t> rgba;
    for (int pixel = 0; pixel < 9; ++pixel)
        for (int channel = 0; channel < 4; ++channel)
            rgba.push_back(std::uint8_t(pixel * 10 + channel));
    ASSERT_TRUE(encoder.addFrame(rgba, 3, 3, why)) << why;
    ASSERT_TRUE(encoder.addFrame(rgba, 3, 3, why)) << why;
    EXPECT_FALSE(std::filesystem::exists(movie)) << "the movie's name is taken before the end";
    ASSERT_TRUE(encoder.finish(why)) << why;
    EXPECT_EQ(encoder.frames(), 2);
    const std::string frame = {60, 61, 62, 70, 71, 72, 30, 31, 32, 40, 41, 42};
    EXPECT_EQ(contents(movie), frame + frame);
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"m.mp4"});
    EXPECT_FALSE(encoder.addFrame(rgba, 1, 1, why));
}

TEST_F(MovieFolder, AFailedEncodeKeepsTheOldFileAndLeavesNoTemporaryOne) {
    const std::filesystem::path movie = folder / "m.mp4";
    std::ofstream(movie) << "old";
    const std::vector<std::uint8_t> rgba(64 * 64 * 4, 7);
    std::string why;
    {
        // Takes every frame, writes part of a file and fails.
        const std::string fails = standIn(
            "fails", "for output; do :; done\necho part > \"$output\"\ncat > /dev/null\nexit 3\n");
        MovieEncoder encoder;
        ASSERT_TRUE(encoder.start(fails, movie, {64, 64}, why)) << why;
        ASSERT_TRUE(encoder.addFrame(rgba, 64, 64, why)) << why;
        EXPECT_FALSE(encoder.finish(why));
        EXPECT_NE(why.find("status 3"), std::string::npos) << why;
        EXPECT_EQ(filesInFolder(), std::vector<std::string>{"m.mp4"});
    }
    {
        // Leaves at once: the frames meet a broken pipe, which must not end the test.
        const std::string quits = standIn("quits", "exit 0\n");
        MovieEncoder encoder;
        ASSERT_TRUE(encoder.start(quits, movie, {64, 64}, why)) << why;
        bool taken = true;
        for (int frame = 0; frame < 100 && taken; ++frame)
            taken = encoder.addFrame(rgba, 64, 64, why);
        EXPECT_FALSE(taken);
        EXPECT_FALSE(encoder.active());
        EXPECT_EQ(filesInFolder(), std::vector<std::string>{"m.mp4"});
    }
    {
        // Abandoned with a frame in it: the destructor stops the encoder.
        const std::string keep = standIn("keep", "for output; do :; done\ncat > \"$output\"\n");
        MovieEncoder encoder;
        ASSERT_TRUE(encoder.start(keep, movie, {64, 64}, why)) << why;
        ASSERT_TRUE(encoder.addFrame(rgba, 64, 64, why)) << why;
    }
    EXPECT_EQ(contents(movie), "old");
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"m.mp4"});
}

}  // namespace
}  // namespace kav
