// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/gridshape.h"

#include <algorithm>

namespace {
// Whether the grid scrolls is decided before its scroll bar is shown: the width of a usual bar is set
// aside for it.
constexpr int assumedScrollBarWidth = 17;

// A table narrower than one cell still gets one column, so nothing divides by zero.
int columnsFitting(int width)
{
    return std::max(1, width / minimumCellWidth);
}
} // namespace

bool gridScrolls(int width, int height, int songs)
{
    return columnsFitting(width - assumedScrollBarWidth) * (height / minimumCellHeight) < songs;
}

GridShape gridShape(int width, int height, int songs, int lineWidth, int scrollBarWidth)
{
    GridShape shape;
    shape.scrolls = gridScrolls(width, height, songs);
    if (shape.scrolls) {
        shape.columns = columnsFitting(width - assumedScrollBarWidth);
        shape.rows = (songs + shape.columns - 1) / shape.columns;
    } else {
        scrollBarWidth = 0;
        shape.columns = columnsFitting(width);
        shape.rows = std::max(1, height / minimumCellHeight);
    }
    // The table's frame lines take part of the width; each column beyond three adds one.
    const int available = (3 - shape.columns) * lineWidth + width - scrollBarWidth;
    const int spare = available - shape.columns * minimumCellWidth;
    shape.columnWidth = minimumCellWidth + (spare > 0 ? spare / shape.columns : 0);
    shape.lastColumnWidth = available - shape.columnWidth * (shape.columns - 1);
    const int spareHeight = height - shape.rows * minimumCellHeight;
    shape.rowHeight = minimumCellHeight + (spareHeight > 0 ? spareHeight / shape.rows : 0);
    return shape;
}

GridRows gridRows(const GridShape& shape, int shown, int height)
{
    const int used = shown > 0 ? (shown - 1) / shape.columns + 1 : 1;
    if (used >= shape.rows)
        return {shape.rows, shape.rowHeight};
    const int visible = std::max(1, height / minimumCellHeight);
    if (used > visible)
        return {used, shape.rowHeight};
    // The rows fill the view exactly.
    return {visible, height - shape.rowHeight * (visible - 1) - 2};
}
