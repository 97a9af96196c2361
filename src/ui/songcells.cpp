// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/songcells.h"

#include "desktop/accessibility.h"
#include "library/Track.h"
#include "ui/SongCellIndex.h"
#include "ui/style.h"

#include <QColor>
#include <QTableWidgetItem>

int waitingHue(int position, int capacity, int elapsedSeconds, double headSeconds)
{
    const int step = capacity > 1 ? 80 / (capacity - 1) : 0;
    const double progress = headSeconds > 0 ? elapsedSeconds / headSeconds : 0.0;
    return static_cast<int>((capacity - 1 - position) * step + progress * step);
}

namespace {
void paint(QTableWidgetItem* cell, QTableWidgetItem* secondCell, const QColor* background, const QColor& text)
{
    for (QTableWidgetItem* item : {cell, secondCell}) {
        if (!item)
            continue;
        if (background)
            item->setBackground(*background);
        item->setForeground(text);
    }
}
} // namespace

void colourSongCells(QTableWidgetItem* cell, QTableWidgetItem* secondCell, SongState state, int hue,
                     int waitingPosition)
{
    // A screen reader cannot see the colours: the cell says the state in words.
    const QString description = songCellDescription(state == SongState::Played, state == SongState::Playing,
                                                    state == SongState::Queued ? waitingPosition : 0);
    for (QTableWidgetItem* item : {cell, secondCell})
        if (item)
            item->setData(Qt::AccessibleDescriptionRole, description);
    switch (state) {
    case SongState::Played:
        paint(cell, secondCell, &backgroundColour(), accentColour());
        return;
    case SongState::Playing: {
        const QColor playing = playingColour();
        paint(cell, secondCell, &playing, Qt::black);
        return;
    }
    case SongState::Queued: {
        const QColor waiting = waitingColour(hue);
        paint(cell, secondCell, hue >= 0 ? &waiting : nullptr, Qt::black);
        return;
    }
    case SongState::Free:
        // A song may become free in place, when its start fails.
        paint(cell, secondCell, &backgroundColour(), textColour());
        return;
    }
}

QTableWidgetItem* findSongCell(const Track* track, const SongCellIndex* cells)
{
    return cells ? cells->cellOf(track) : nullptr;
}
