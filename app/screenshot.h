#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kav {

// "kavrosa-tick-12345.png" in `folder`; when taken already (two pictures of a paused
// tick), "kavrosa-tick-12345-2.png" and so on.
std::filesystem::path screenshotPath(const std::filesystem::path& folder, std::int64_t tick);

// Writes RGBA pixels read from OpenGL (bottom row first) as a PNG, top row first.
// False when the file could not be written.
bool writeScreenshot(const std::filesystem::path& path, int width, int height,
                     const std::vector<std::uint8_t>& rgbaBottomUp);

}  // namespace kav
