// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>

class QTableWidgetItem;
class Track;
enum class SongState;

// Which cell of the library grid shows which song. The grid fills it anew with every rebuild, so that a
// song's cell is found at once however large the library, where a search over the cells' texts would
// grow with it. A song the grid does not show has no cell.
//
// It also keeps the state and hue each cell was given at the last rebuild: a song whose cell, state and
// hue are still the same needs no restyling (the queue repaints a song's cells whenever its state or hue
// changes between rebuilds).
class SongCellIndex
{
public:
    // Forgets every cell and makes room for `songs` new ones; what the last rebuild gave stays known to
    // showsAlready() until the next restart.
    void restart(int songs);
    void add(const Track* track, QTableWidgetItem* cell, SongState state, int hue);
    // The song's cell, or null when the grid does not show it.
    QTableWidgetItem* cellOf(const Track* track) const;
    int size() const { return cells.size(); }
    // True when the last rebuild gave `cell` to this song with this state and hue.
    bool showedAlready(const Track* track, const QTableWidgetItem* cell, SongState state, int hue) const;

private:
    struct Entry
    {
        QTableWidgetItem* cell = nullptr;
        SongState state{};
        int hue = -1;
    };
    QHash<const Track*, Entry> cells;
    QHash<const Track*, Entry> previous;
};
