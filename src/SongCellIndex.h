// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>

class QTableWidgetItem;
class Track;

// Which cell of the library grid shows which song. The grid fills it anew with every rebuild, so that a
// song's cell is found at once however large the library, where a search over the cells' texts would
// grow with it. A song the grid does not show has no cell.
class SongCellIndex
{
public:
    // Forgets every cell and makes room for `songs` new ones.
    void restart(int songs);
    void add(const Track* track, QTableWidgetItem* cell);
    // The song's cell, or null when the grid does not show it.
    QTableWidgetItem* cellOf(const Track* track) const;
    int size() const { return cells.size(); }

private:
    QHash<const Track*, QTableWidgetItem*> cells;
};
