#include "app/screenshot.h"

#include <stb_image_write.h>
#include <system_error>

namespace kav {

std::filesystem::path screenshotPath(const std::filesystem::path& folder, std::int64_t tick) {
    const std::string stem = "kavrosa-tick-" + std::to_string(tick);
    std::filesystem::path path = folder / (stem + ".png");
    std::error_code error;
    for (int n = 2; std::filesystem::exists(path, error) && n < 1000; ++n) {
        path = folder / (stem + "-" + std::to_string(n) + ".png");
    }
    return path;
}

bool writeScreenshot(const std::filesystem::path& path, int width, int height,
                     const std::vector<std::uint8_t>& rgbaBottomUp) {
    if (width <= 0 || height <= 0 ||
        rgbaBottomUp.size() < static_cast<std::size_t>(width) * height * 4) {
        return false;
    }
    // OpenGL's rows run bottom-up, a PNG's top-down. Alpha is dropped: the window is
    // opaque.
    const int rowBytes = width * 4;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* from =
            rgbaBottomUp.data() + static_cast<std::size_t>(height - 1 - y) * rowBytes;
        std::uint8_t* to = rgb.data() + static_cast<std::size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            to[3 * x] = from[4 * x];
            to[3 * x + 1] = from[4 * x + 1];
            to[3 * x + 2] = from[4 * x + 2];
        }
    }
    return stbi_write_png(path.string().c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

}  // namespace kav
