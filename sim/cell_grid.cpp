#include "sim/cell_grid.h"

#include <algorithm>
#include <cmath>

namespace kav {

namespace {

// Cells along one side: `extent` split into cells of about `side`, at least one.
int cellsAlong(float extent, float side) {
    if (!(extent > 1.0e-6f) || !(side > 0.0f)) return 1;
    const float cells = std::ceil(extent / side);
    return cells >= float(CellGrid::kMaxSide) ? CellGrid::kMaxSide : std::max(1, int(cells));
}

}  // namespace

void CellGrid::build(const std::int32_t* slotByPosition, const float* xByPosition,
                     const float* yByPosition, int countArg, float agentsPerCell) {
    count = countArg;
    columns = 1;
    rows = 1;
    if (count == 0) {
        cellBegin[0] = cellBegin[1] = 0;
        return;
    }
    const float xLow = xByPosition[0];  // the x index is in ascending x
    const float xHigh = xByPosition[count - 1];
    float yLow = yByPosition[0];
    float yHigh = yByPosition[0];
    for (int pos = 1; pos < count; ++pos) {
        yLow = std::min(yLow, yByPosition[pos]);
        yHigh = std::max(yHigh, yByPosition[pos]);
    }
    const float width = xHigh - xLow;
    const float height = yHigh - yLow;
    const float cellsWanted = std::max(1.0f, float(count) / agentsPerCell);
    if (width > 1.0e-6f && height > 1.0e-6f) {
        const float side = std::sqrt(width * height / cellsWanted);
        columns = cellsAlong(width, side);
        rows = cellsAlong(height, side);
    } else {
        columns = cellsAlong(width, width / cellsWanted);
        rows = cellsAlong(height, height / cellsWanted);
    }
    while (columns * rows > kMaxCells) {
        if (columns >= rows) --columns;
        else --rows;
    }
    originX = xLow;
    originY = yLow;
    cellWidth = columns > 1 ? width / float(columns) : 1.0f;
    cellHeight = rows > 1 ? height / float(rows) : 1.0f;
    inverseWidth = 1.0f / cellWidth;
    inverseHeight = 1.0f / cellHeight;
    // The cell of a coordinate and the edges are each a few roundings away from the exact
    // quotient; this margin is a hundred times larger than all of them together.
    slack = 1.0e-5f * (std::fabs(originX) + std::fabs(originY) + width + height) + 1.0e-30f;

    const int cells = columns * rows;
    std::fill_n(cellBegin.begin(), cells + 1, 0);
    for (int pos = 0; pos < count; ++pos) {
        const int cell = row(yByPosition[pos]) * columns + column(xByPosition[pos]);
        cellOfPosition[pos] = cell;
        cellBegin[cell + 1] += 1;
        slotByXPosition[pos] = slotByPosition[pos];
    }
    for (int c = 0; c < cells; ++c) cellBegin[c + 1] += cellBegin[c];
    // Entries of a cell in ascending x-index position; cellBegin[c] runs to the end of
    // cell c while filling and is shifted back afterwards.
    for (int pos = 0; pos < count; ++pos) {
        const int at = cellBegin[cellOfPosition[pos]]++;
        x[at] = xByPosition[pos];
        y[at] = yByPosition[pos];
        xPosition[at] = pos;
    }
    for (int c = cells; c > 0; --c) cellBegin[c] = cellBegin[c - 1];
    cellBegin[0] = 0;
}

}  // namespace kav
