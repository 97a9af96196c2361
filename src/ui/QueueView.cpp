// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QueueView.h"

#include "library/Track.h"
#include "ui/SongCellIndex.h"
#include "ui/songcells.h"
#include "ui/style.h"

#include <QTableWidget>

QueueView::QueueView(QTableWidget* table, const SongCellIndex* cells)
    : queueTable(table), libraryCells(cells), placeCount(table ? table->columnCount() : 0)
{}

bool QueueView::hasPlace(int position) const
{
    return queueTable && queueTable->item(0, position);
}

int QueueView::waitingHue(int position, int elapsedSeconds, double headSeconds) const
{
    return ::waitingHue(position, placeCount, elapsedSeconds, headSeconds);
}

void QueueView::showSong(int position, const Track* track, int hue)
{
    QTableWidgetItem* queueCell = queueTable->item(0, position);
    if (queueCell)
        queueCell->setText(track->displayText());
    colourSongCells(findSongCell(track, libraryCells), queueCell, track->state(), hue, position);
}

void QueueView::showLibraryState(const Track* track, int hue, int waitingPosition)
{
    colourSongCells(findSongCell(track, libraryCells), nullptr, track->state(), hue, waitingPosition);
}

void QueueView::clearRow(int songs)
{
    queueTable->clear();
    for (int position = 0; position < placeCount; ++position) {
        auto* cell = new QTableWidgetItem;
        if (position < songs)
            cell->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        else
            styleTableCell(cell);
        queueTable->setItem(0, position, cell);
    }
}

void QueueView::showFreeAgain(const Track* track)
{
    if (QTableWidgetItem* cell = findSongCell(track, libraryCells))
        styleTableCell(cell);
}
