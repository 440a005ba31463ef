#pragma once
#include <string>

namespace kav {

// Which of SDL's video drivers the window program may use. Offscreen and dummy
// drivers draw where nobody sees it; they are used only when asked for by name.
struct VideoDriverChoice {
    std::string drivers;  // for SDL's video driver hint, in order of preference
    std::string missing;  // when not empty: no display, and this says why
};

// From the environment: SDL_VIDEODRIVER (given by name: used as it is), DISPLAY and
// WAYLAND_DISPLAY. Null pointers stand for unset variables.
VideoDriverChoice chooseVideoDrivers(const char* sdlVideoDriver, const char* display,
                                     const char* waylandDisplay);

// Whether a driver draws only where no one sees it.
bool isInvisibleDriver(const char* driver);

}  // namespace kav
