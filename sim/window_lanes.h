#pragma once
// The capture phase's swept windows over the Prey's x index, many at once: for each window,
// the positions in its slab [begin, end) of the index whose coordinates lie in
// [lowX, highX) x [lowY, highY), compared as the reference compares them (a lower bound that
// is not a number holds everything, an upper one nothing). The kernels of every unit take
// them (the wider units' files see no other type, see sim/nearest_kernel.h). The
// coordinates' arrays hold three entries of padding past the index.
#include <cstdint>

namespace kav {

struct WindowLanes {
    const float* x;  // the index's coordinates by position
    const float* y;
    const float* lowX;  // by window
    const float* highX;
    const float* lowY;
    const float* highY;
    const std::int32_t* begin;  // each window's slab of positions
    const std::int32_t* end;
    int windows;
    std::int32_t* found;     // out: the positions inside, window after window, ascending
    std::int32_t* foundEnd;  // out: where each window's positions end in `found`
};

void windowEntriesScalar(const WindowLanes& lanes);
void windowEntriesSse2(const WindowLanes& lanes);
void windowEntriesAvx2(const WindowLanes& lanes);
void windowEntriesAvx512(const WindowLanes& lanes);

}  // namespace kav
