// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/gridshape.h"

#include <QtGlobal>
#include <algorithm>

namespace {
// A table narrower than one cell still gets one column, so nothing divides by zero.
int columnsFitting(int width, const CellMinimum& cell)
{
    return std::max(1, width / cell.width);
}
} // namespace

CellMinimum scaledCellMinimum(double sizes)
{
    CellMinimum cell;
    cell.width = std::max(1, qRound(cell.width * sizes));
    cell.height = std::max(1, qRound(cell.height * sizes));
    cell.scrollBar = qRound(cell.scrollBar * sizes);
    return cell;
}

bool gridScrolls(int width, int height, int songs, const CellMinimum& cell)
{
    return columnsFitting(width - cell.scrollBar, cell) * (height / cell.height) < songs;
}

GridShape gridShape(int width, int height, int songs, int lineWidth, int scrollBarWidth,
                    const CellMinimum& cell)
{
    GridShape shape;
    shape.cell = cell;
    shape.scrolls = gridScrolls(width, height, songs, cell);
    if (shape.scrolls) {
        shape.columns = columnsFitting(width - cell.scrollBar, cell);
        shape.rows = (songs + shape.columns - 1) / shape.columns;
    } else {
        scrollBarWidth = 0;
        shape.columns = columnsFitting(width, cell);
        shape.rows = std::max(1, height / cell.height);
    }
    // The table's frame lines take part of the width; each column beyond three adds one.
    const int available = (3 - shape.columns) * lineWidth + width - scrollBarWidth;
    const int spare = available - shape.columns * cell.width;
    shape.columnWidth = cell.width + (spare > 0 ? spare / shape.columns : 0);
    shape.lastColumnWidth = available - shape.columnWidth * (shape.columns - 1);
    const int spareHeight = height - shape.rows * cell.height;
    shape.rowHeight = cell.height + (spareHeight > 0 ? spareHeight / shape.rows : 0);
    return shape;
}

GridRows gridRows(const GridShape& shape, int shown, int height)
{
    const int used = shown > 0 ? (shown - 1) / shape.columns + 1 : 1;
    if (used >= shape.rows)
        return {shape.rows, shape.rowHeight};
    const int visible = std::max(1, height / shape.cell.height);
    if (used > visible)
        return {used, shape.rowHeight};
    // The rows fill the view exactly.
    return {visible, height - shape.rowHeight * (visible - 1) - 2};
}
