// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "party/QueueDisplay.h"

#include <QImage>
#include <QMetaObject>

class QTableWidget;
class QTableWidgetItem;
class SongCellIndex;

// The queue on the screen: its one-row table, one cell a song, and the songs' cells in the library grid,
// found through the grid's index. Lives on the GUI thread.
class QueueView : public QueueDisplay
{
public:
    // `libraryCells` may be null: the queue then shows itself in its row only.
    QueueView(QTableWidget* queueTable, const SongCellIndex* libraryCells);
    ~QueueView() override;
    QueueView(const QueueView&) = delete;
    QueueView& operator=(const QueueView&) = delete;

    int places() const override { return placeCount; }
    bool hasPlace(int position) const override;
    int waitingHue(int position, int elapsedSeconds, double headSeconds) const override;
    void showSong(int position, const Track* track, int hue) override;
    void showCover(int position, const QImage& cover) override;
    void showLibraryState(const Track* track, int hue, int waitingPosition) override;
    void clearRow(int songs) override;
    void showFreeAgain(const Track* track) override;

private:
    QTableWidget* queueTable = nullptr;
    const SongCellIndex* libraryCells = nullptr;
    // The row's columns when the queue began: its capacity for the whole run.
    int placeCount = 0;
    // The playing song's cover while its cell shows it.
    QImage shownCover;
    QMetaObject::Connection resizeWatches[2];
};
