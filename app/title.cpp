#include "app/title.h"

namespace kav {

std::string groupedCount(std::int64_t n) {
    const bool negative = n < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    const std::string digits = std::to_string(magnitude);
    std::string out;
    const int length = static_cast<int>(digits.size());
    for (int i = 0; i < length; ++i) {
        if (i > 0 && (length - i) % 3 == 0) out += ',';
        out += digits[static_cast<std::size_t>(i)];
    }
    return negative ? "-" + out : out;
}

std::string modeName(const RunFlags& flags) {
    std::string mode = flags.fastNoDraw ? "fast, not drawn" : flags.fastDraw ? "fast" : "";
    if (flags.paused) mode += mode.empty() ? "paused" : ", paused";
    return mode;
}

std::string windowTitle(std::int64_t tick, int predators, int prey, const RunFlags& flags,
                        std::int64_t ticksBack) {
    std::string title = "Kavrosa \u2014 tick " + groupedCount(tick) + " \u00b7 " +
                        groupedCount(predators) + (predators == 1 ? " Predator" : " Predators") +
                        " \u00b7 " + groupedCount(prey) + " Prey";
    const std::string mode = modeName(flags);
    if (!mode.empty()) title += " \u00b7 " + mode;
    if (ticksBack > 0)
        title +=
            " \u00b7 " + groupedCount(ticksBack) + (ticksBack == 1 ? " tick back" : " ticks back");
    return title + "   (H: panel, Space: pause, Esc: quit)";
}

}  // namespace kav
