#pragma once

namespace kav {

// When the connection to the X display breaks (the server ended, the network dropped),
// Xlib ends the program from inside whatever call noticed it. This calls `onLost`
// first (it may save the world: no tick is ever inside an Xlib call) and then ends the
// program with status 1. Only for the x11 video driver; call after the window exists.
void watchDisplayConnection(void (*onLost)());

}  // namespace kav
