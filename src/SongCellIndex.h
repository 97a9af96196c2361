// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

class QTableWidgetItem;
class Track;
enum class SongState;

// Which cell of the library grid shows which song. The grid fills it anew with every rebuild, place by
// place, and each song keeps its place, so that a song's cell is found at once however large the
// library, where a search over the cells' texts would grow with it. A song the grid does not show has no
// cell.
//
// It also keeps the state and hue each place was given at the last rebuild: a place that shows the same
// song in the same state and hue needs no restyling (the queue repaints a song's cells whenever its state
// or hue changes between rebuilds).
class SongCellIndex
{
public:
    // Forgets every cell and makes room for `songs` new ones; what the last rebuild gave stays known to
    // showedAlready() until the next restart.
    void restart(int songs);
    // The next place of the grid shows `track` in `cell`.
    void add(Track* track, QTableWidgetItem* cell, SongState state, int hue);
    // The song's cell, or null when the grid does not show it.
    QTableWidgetItem* cellOf(const Track* track) const;
    int size() const { return static_cast<int>(places.size()); }
    // True when the last rebuild gave the next place, in `cell`, to this song with this state and hue.
    bool showedAlready(const Track* track, const QTableWidgetItem* cell, SongState state, int hue) const;

private:
    struct Place
    {
        const Track* track = nullptr;
        QTableWidgetItem* cell = nullptr;
        SongState state{};
        int hue = -1;
    };
    std::vector<Place> places;
    std::vector<Place> previous;
};
