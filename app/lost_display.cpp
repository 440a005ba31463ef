#include "app/lost_display.h"

#include <X11/Xlib.h>
#include <cstdlib>

namespace kav {

namespace {

void (*lostCallback)() = nullptr;

int onIoError(Display*) {
    if (lostCallback != nullptr) lostCallback();
    // Not exit(): the destructors would talk to the display that is gone.
    std::_Exit(1);
}

}  // namespace

void watchDisplayConnection(void (*onLost)()) {
    lostCallback = onLost;
    XSetIOErrorHandler(onIoError);
}

}  // namespace kav
