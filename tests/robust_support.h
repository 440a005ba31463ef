#pragma once
// Shared pieces of the robustness tests: a temporary folder per test, whole-file reads
// and writes, and a world set up in such a folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include "evo/invariants.h"
#include "evo/population.h"

namespace kav::robust {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "kavrosa-robust-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const char* name) const { return path_ / name; }

private:
    fs::path path_;
};

inline std::vector<unsigned char> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const fs::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), std::streamsize(size));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

inline bool runningAsRoot() { return ::geteuid() == 0; }

// A world of the standard arena whose Genome file and statistics files live in `folder`.
inline std::unique_ptr<Population> worldIn(const fs::path& folder, std::uint32_t seed = 1) {
    auto population = std::make_unique<Population>();
    population->folder = folder;
    population->random.setState(seed);
    return population;
}

// Lines written to stderr, without the trailing empty piece.
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// Runs ticks with the invariant checker after each; stops at the first violation.
inline ::testing::AssertionResult runChecked(Population& population, int ticks) {
    for (int t = 0; t < ticks; ++t) {
        population.runTick();
        const std::string failure = checkInvariants(population);
        if (!failure.empty())
            return ::testing::AssertionFailure()
                   << "after tick " << population.tick << ": " << failure;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace kav::robust
