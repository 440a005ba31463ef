#include "app/screenshot.h"

#include <stb_image_write.h>
#include <system_error>

namespace kav {

std::filesystem::path tickNamedPath(const std::filesystem::path& folder, std::int64_t tick,
                                    const std::string& extension) {
    const std::string stem = "kavrosa-tick-" + std::to_string(tick);
    std::filesystem::path path = folder / (stem + extension);
    std::error_code error;
    for (int n = 2; std::filesystem::exists(path, error) && n < 1000; ++n) {
        path = folder / (stem + "-" + std::to_string(n) + extension);
    }
    return path;
}

void topDownRgb(const std::uint8_t* rgbaBottomUp, int fromWidth, int fromHeight, int width,
                int height, std::vector<std::uint8_t>& rgb) {
    const std::size_t rowBytes = static_cast<std::size_t>(fromWidth) * 4;
    rgb.resize(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* from =
            rgbaBottomUp + static_cast<std::size_t>(fromHeight - 1 - y) * rowBytes;
        std::uint8_t* to = rgb.data() + static_cast<std::size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            to[3 * x] = from[4 * x];
            to[3 * x + 1] = from[4 * x + 1];
            to[3 * x + 2] = from[4 * x + 2];
        }
    }
}

bool writeScreenshot(const std::filesystem::path& path, int width, int height,
                     const std::vector<std::uint8_t>& rgbaBottomUp) {
    if (width <= 0 || height <= 0 ||
        rgbaBottomUp.size() < static_cast<std::size_t>(width) * height * 4) {
        return false;
    }
    std::vector<std::uint8_t> rgb;
    topDownRgb(rgbaBottomUp.data(), width, height, width, height, rgb);
    return stbi_write_png(path.string().c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

}  // namespace kav
