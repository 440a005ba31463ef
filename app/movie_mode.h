#pragma once
#include "app/window_options.h"
#include "evo/population.h"

namespace kav {

// `kavrosa --movie`: the folder's evolution (read as every program reads it, and not
// saved) runs options.movieTicks ticks, each drawn offscreen as the normal mode draws it
// at six moments of its move, and the frames are encoded into options.movieFile. The
// process exit status: 0, 1 (drawing or encoding failed, or a signal), 2 (no ffmpeg, an
// unusable folder), 3 (the folder is in use).
int makeMovie(Population& population, const WindowOptions& options);

}  // namespace kav
