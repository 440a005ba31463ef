#pragma once
#include <cstdint>
#include <string>

#include "app/keys.h"

namespace kav {

// 12345 -> "12,345".
std::string groupedCount(std::int64_t n);

// What the title calls the run mode: empty for the normal mode, else "fast",
// "fast, not drawn", with ", paused" or just "paused" when paused.
std::string modeName(const RunFlags& flags);

// "Kavrosa — tick 12,345 · 10 Predators · 150 Prey", the mode when not normal, how far
// the tick shown is behind the newest ("1,000 ticks back") when the past is watched, and a
// short key hint.
std::string windowTitle(std::int64_t tick, int predators, int prey, const RunFlags& flags,
                        std::int64_t ticksBack = 0);

}  // namespace kav
