// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
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
    // True when the last rebuild gave the next place, in `cell`, to some song: the cell has a song's style.
    bool showedSong(const QTableWidgetItem* cell) const;

    // The song the last rebuild gave `place`, in `cell`; null for a filler.
    const Track* shownBefore(int place, const QTableWidgetItem* cell) const;
    // Takes over `cell` of `place`, which the grid is about to lose with its row, and what it shows now
    // (null `track` for a filler). A genre switch in a large library would otherwise delete and make tens
    // of thousands of cells each way, and restyle every one of them on the way back.
    void setAside(int place, QTableWidgetItem* cell, const Track* track, SongState state, int hue);
    struct Aside
    {
        QTableWidgetItem* cell = nullptr;
        bool showedSong = false; // it has a song's style
        bool same = false;       // it still shows this song in this state and hue
    };
    // The cell set aside at the next place, handed back (null when there is none).
    Aside takeAside(const Track* track, SongState state, int hue);
    // Deletes every cell set aside: their style is no longer the grid's.
    void dropAside();

private:
    struct Place
    {
        const Track* track = nullptr;
        QTableWidgetItem* cell = nullptr;
        SongState state{};
        int hue = -1;
    };
    struct DeletesCell
    {
        void operator()(QTableWidgetItem* cell) const;
    };
    std::vector<Place> places;
    std::vector<Place> previous;
    // By place; a cell set aside is out of every view, so nothing changes what it shows.
    std::vector<Place> asideShowed;
    std::vector<std::unique_ptr<QTableWidgetItem, DeletesCell>> aside;
};
