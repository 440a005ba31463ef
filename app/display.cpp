#include "app/display.h"

#include <cstring>

namespace kav {

namespace {

bool set(const char* value) { return value != nullptr && *value != '\0'; }

}  // namespace

VideoDriverChoice chooseVideoDrivers(const char* sdlVideoDriver, const char* display,
                                     const char* waylandDisplay) {
    VideoDriverChoice choice;
    if (set(sdlVideoDriver)) {
        choice.drivers = sdlVideoDriver;
        return choice;
    }
    if (set(display)) choice.drivers = "x11";
    if (set(waylandDisplay)) choice.drivers += choice.drivers.empty() ? "wayland" : ",wayland";
    if (choice.drivers.empty()) {
        choice.missing =
            "no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set); "
            "kavrosa-evolve runs the evolution without a window";
    }
    return choice;
}

bool isInvisibleDriver(const char* driver) {
    return driver != nullptr &&
           (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

}  // namespace kav
