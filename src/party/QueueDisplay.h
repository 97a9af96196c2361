// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QImage;
class Track;

// Where the queue shows itself: a row of places, the playing song's first, and the songs' cells in the
// library grid, coloured by their state. The queue says what to show; how it looks is the display's.
class QueueDisplay
{
public:
    virtual ~QueueDisplay() = default;

    // How many places the row has: the queue's capacity.
    virtual int places() const = 0;
    // Whether the row's place `position` has a cell to show a song in.
    virtual bool hasPlace(int position) const = 0;
    // The hue of a waiting song at `position` (1 = next) while the head has played `elapsedSeconds` of
    // `headSeconds`.
    virtual int waitingHue(int position, int elapsedSeconds, double headSeconds) const = 0;

    // Shows the song at `position` of the row (0 = the head) and colours its cells by its state; a waiting
    // song takes `hue`.
    virtual void showSong(int position, const Track* track, int hue) = 0;
    // Shows the playing song's cover behind its text at `position` (a null image: none, or not read yet).
    virtual void showCover(int position, const QImage& cover) = 0;
    // Colours the song's cell in the library by its state; a waiting song takes `hue` and says its
    // `waitingPosition` (-1: it does not wait).
    virtual void showLibraryState(const Track* track, int hue, int waitingPosition) = 0;
    // Empties the row; its first `songs` places are made for the songs that showSong() then shows.
    virtual void clearRow(int songs) = 0;
    // Every song is free again: the song's cell in the library gets its plain look back.
    virtual void showFreeAgain(const Track* track) = 0;
};
