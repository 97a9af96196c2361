#include "songcells.h"

#include "PlayQueue.h"
#include "Track.h"
#include "desktop/accessibility.h"
#include "style.h"

#include <QColor>
#include <QTableWidget>

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

void colourSongCells(QTableWidgetItem* cell, QTableWidgetItem* secondCell, const Track* track, int position,
                     const PlayQueue* queue)
{
    if (!track)
        return;
    if (position == -1 && track->queued() && queue)
        position = queue->queuedSongs().indexOf(const_cast<Track*>(track), 1);
    // A screen reader cannot see the colours: the cell says the state in words.
    const QString description =
        songCellDescription(track->played(), track->playing(), track->queued() ? position : 0);
    for (QTableWidgetItem* item : {cell, secondCell})
        if (item)
            item->setData(Qt::AccessibleDescriptionRole, description);
    if (track->played()) {
        paint(cell, secondCell, &backgroundColour(), accentColour());
        return;
    }
    if (track->playing()) {
        const QColor playing = QColor::fromHsv(80, 255, 255, 255);
        paint(cell, secondCell, &playing, Qt::black);
        return;
    }
    if (!track->queued())
        return;
    paint(cell, secondCell, nullptr, Qt::black);
    if (!queue)
        return;
    const QList<Track*>& songs = queue->queuedSongs();
    if (position < 1)
        return;
    const Track* head = songs.isEmpty() ? nullptr : songs.first();
    const QColor waiting = QColor::fromHsv(
        waitingHue(position, queue->queueCapacity(), queue->secondsElapsed(), head ? head->seconds() : 0.0),
        255, 255, 255);
    paint(cell, secondCell, &waiting, Qt::black);
}

QTableWidgetItem* findSongCell(const Track* track, QTableWidget* table)
{
    if (!track || !table)
        return nullptr;
    const QList<QTableWidgetItem*> cells = table->findItems(track->displayText(), Qt::MatchFixedString);
    return cells.size() == 1 ? cells.first() : nullptr;
}
