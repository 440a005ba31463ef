#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kav {

// "kavrosa-tick-12345.EXT" in `folder` (extension with its dot); when taken already (two
// pictures of a paused tick), "kavrosa-tick-12345-2.EXT" and so on.
std::filesystem::path tickNamedPath(const std::filesystem::path& folder, std::int64_t tick,
                                    const std::string& extension);
inline std::filesystem::path screenshotPath(const std::filesystem::path& folder,
                                            std::int64_t tick) {
    return tickNamedPath(folder, tick, ".png");
}

// The top left `width` x `height` pixels of a picture of `fromWidth` x `fromHeight` RGBA
// pixels read from OpenGL (bottom row first), as RGB rows, top row first: the window is
// opaque, so alpha is dropped.
void topDownRgb(const std::uint8_t* rgbaBottomUp, int fromWidth, int fromHeight, int width,
                int height, std::vector<std::uint8_t>& rgb);

// Writes RGBA pixels read from OpenGL (bottom row first) as a PNG, top row first.
// False when the file could not be written.
bool writeScreenshot(const std::filesystem::path& path, int width, int height,
                     const std::vector<std::uint8_t>& rgbaBottomUp);

}  // namespace kav
