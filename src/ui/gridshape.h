// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The smallest a song cell of the library grid may be; the grid fits as many as it can and stretches them.
constexpr int minimumCellWidth = 220;
constexpr int minimumCellHeight = 100;

// The smallest cell at a text scale, and the width set aside for a scroll bar beside such cells: all three
// grow together, so a screen twice as large fits exactly the columns and rows of a full HD one.
struct CellMinimum
{
    int width = minimumCellWidth;
    int height = minimumCellHeight;
    // Whether the grid scrolls is decided before its scroll bar is shown: the width of a usual bar is set
    // aside for it.
    int scrollBar = 17;
};
CellMinimum scaledCellMinimum(double sizes);

// How the library grid lays out its cells in a table of a given size.
struct GridShape
{
    // More songs than the table holds: a vertical scroll bar, and a row for every `columns` songs.
    bool scrolls = false;
    int rows = 0;
    int columns = 0;
    // Every column but the last, which takes what remains of the width.
    int columnWidth = 0;
    int lastColumnWidth = 0;
    int rowHeight = 0;
    // The smallest cell it was made for.
    CellMinimum cell;
};

// Whether `songs` cells need the vertical scroll bar in a table of `width` × `height` pixels.
bool gridScrolls(int width, int height, int songs, const CellMinimum& cell = {});

// The shape for `songs` cells (every song of the library, shown or not, so that a genre filter does not
// change the cells' size); `lineWidth` is the table's frame line width, `scrollBarWidth` the width of
// its vertical scroll bar while shown.
GridShape gridShape(int width, int height, int songs, int lineWidth, int scrollBarWidth,
                    const CellMinimum& cell = {});

// The rows once `shown` cells are placed: the rows that hold them, or enough to fill the visible height,
// whose last row then takes the height that is left; every other row is `rowHeight` high.
struct GridRows
{
    int count = 0;
    int lastRowHeight = 0;
};
GridRows gridRows(const GridShape& shape, int shown, int height);
