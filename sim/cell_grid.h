#pragma once
#include <array>
#include <cstdint>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "sim/agent.h"

namespace kav {

// A population's positions bucketed into a uniform grid of cells, rebuilt at every step.
// The entries are grouped by cell in row-major order, so the cells [c0, c1] of one row
// are the contiguous entries rowBegin(row, c0) to rowEnd(row, c1). Beside each entry
// are its coordinates and its position in the population's x index.
//
// A coordinate maps to its cell column by a monotonic rounding of (x - originX) / width,
// clamped to the grid, so the border cells reach out to infinity and any finite position
// has a cell. Because of the rounding the edge between two cells is not exactly where
// the arithmetic puts it; lowerEdgeX / upperEdgeX give edges that are safe by a margin
// far larger than that rounding.
struct CellGrid {
    static constexpr int kMaxCells = 256;
    static constexpr int kMaxSide = 32;

    int columns = 1;
    int rows = 1;
    float originX = 0;
    float originY = 0;
    float cellWidth = 1;
    float cellHeight = 1;
    float inverseWidth = 1;
    float inverseHeight = 1;
    float slack = 0;  // margin of the safe edges
    std::int32_t count = 0;

    std::array<std::int32_t, kMaxCells + 1> cellBegin{};  // entries of cell c: [c, c+1)
    // Three entries of padding let a search read four entries from any entry in use.
    static constexpr int kPadded = kMaxPrey + 3;
    alignas(16) std::array<float, kPadded> x{};
    alignas(16) std::array<float, kPadded> y{};
    std::array<std::int32_t, kPadded> xPosition{};         // position in the x index
    std::array<std::int32_t, kMaxPrey> slotByXPosition{};  // the x index itself
    std::array<std::int32_t, kMaxPrey> cellOfPosition{};   // scratch of build

    // Fills the grid from a population's x index: slot, x and y by position. The
    // positions must be finite. `agentsPerCell` sets the cell size from the density.
    void build(const std::int32_t* slotByPosition, const float* xByPosition,
               const float* yByPosition, int countArg, float agentsPerCell);

    int column(float value) const { return cellOf(value, originX, inverseWidth, columns); }
    int row(float value) const { return cellOf(value, originY, inverseHeight, rows); }

    // Every position in a column >= c (c >= 1) has x >= lowerEdgeX(c); every position in a
    // column <= c (c <= columns - 2) has x < upperEdgeX(c). Likewise for rows and y.
    float lowerEdgeX(int c) const { return originX + static_cast<float>(c) * cellWidth - slack; }
    float upperEdgeX(int c) const {
        return originX + static_cast<float>(c + 1) * cellWidth + slack;
    }
    float lowerEdgeY(int r) const { return originY + static_cast<float>(r) * cellHeight - slack; }
    float upperEdgeY(int r) const {
        return originY + static_cast<float>(r + 1) * cellHeight + slack;
    }

    int rowBegin(int r, int c) const { return cellBegin[r * columns + c]; }
    int rowEnd(int r, int c) const { return cellBegin[r * columns + c + 1]; }

private:
    // Clamps without branches; a value that is not a number goes to cell 0.
    static int cellOf(float value, float origin, float inverse, int cells) {
        const float t = (value - origin) * inverse;
        const float last = static_cast<float>(cells - 1);
#if defined(__SSE__)
        // maxss and minss return their second operand when the first is not a number.
        const __m128 low = _mm_max_ss(_mm_set_ss(t), _mm_setzero_ps());
        return static_cast<int>(_mm_cvtss_f32(_mm_min_ss(low, _mm_set_ss(last))));
#else
        const float low = t > 0.0f ? t : 0.0f;
        return static_cast<int>(low < last ? low : last);
#endif
    }
};

}  // namespace kav
