// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <Qt>

class GenreFilterBar;
class PlayQueue;
class QString;
class QTableWidget;
class QTableWidgetItem;
class SongCellIndex;
class Track;
class TrackLibrary;
struct PhotoSelection;

// Draws the songs into the grid: its shape for the songs the genre filter shows, one cell a song in
// library order, filler cells after them; the index learns every song's cell.
class SongGrid
{
public:
    SongGrid(QTableWidget* grid, SongCellIndex& songCells);

    // Before the first song: one cell across the whole grid says what to do; the table owns it.
    QTableWidgetItem* showHint(const QString& text);
    // True when the grid shows its hint cell, now fitted to the table and the text scale; otherwise the grid
    // needs a refresh.
    bool fitHint();
    // Lays the grid out anew and tells the songs whether the filter shows them; the queue follows the
    // filter. The grid's current cell is then the selected song's, or the first shown song's, which
    // becomes the selected one. Cells and fonts follow the text scale.
    void render(TrackLibrary& library, const GenreFilterBar& filter, PlayQueue* queue, Track*& selected);
    // The song of the grid's selected cell (null for none), and what the selection says to the photo window.
    Track* selectedSong(TrackLibrary* songs, PhotoSelection& selection) const;
    // Makes a song's cell the current one and gives the grid the focus; false when the song has no cell.
    bool focusSong(const Track* track, Qt::FocusReason reason);

private:
    // Gives every song the genre filter shows a cell, in library order, and tells the songs whether they
    // are shown; the number of cells placed. `restyle` styles every cell anew, also one that shows its song.
    int placeSongs(int columns, bool restyle, Track*& firstShown);
    void setAsideFrom(int row, int columns);

    QTableWidget* table = nullptr;
    SongCellIndex& gridCells;
    // What the refresh under way draws from.
    TrackLibrary* library = nullptr;
    const GenreFilterBar* genres = nullptr;
    const PlayQueue* playQueue = nullptr;
    // The text scale's point factor the cells were styled at: a cell keeps its font from refresh to refresh.
    double styledPoints = 1.0;
    bool hintShown = false;
};
