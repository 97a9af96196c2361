// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QueueView.h"

#include "library/Track.h"
#include "ui/SongCellIndex.h"
#include "ui/songcells.h"
#include "ui/style.h"

#include <QBrush>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTableWidget>

namespace {

// The cover fills the cell (its middle, where it is wider or taller), darkened so that the song's text,
// white over it, stays readable from across the room.
QPixmap coverBehindText(const QImage& cover, const QSize& cell, qreal devicePixelRatio)
{
    // Made in the screen's own pixels, so that a scaled desktop shows the picture as sharp as its text.
    const QSize pixels = (QSizeF(cell) * devicePixelRatio).toSize();
    QPixmap filled(pixels);
    filled.fill(Qt::black);
    QPainter painter(&filled);
    const QImage scaled = cover.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    painter.drawImage(QPoint((pixels.width() - scaled.width()) / 2, (pixels.height() - scaled.height()) / 2),
                      scaled);
    painter.fillRect(filled.rect(), QColor(0, 0, 0, 150));
    painter.end();
    filled.setDevicePixelRatio(devicePixelRatio);
    return filled;
}

} // namespace

QueueView::QueueView(QTableWidget* table, const SongCellIndex* cells)
    : queueTable(table), libraryCells(cells), placeCount(table ? table->columnCount() : 0)
{
    if (!table)
        return;
    // The picture is made for the cell's size: a cell that grows or shrinks gets it made again.
    const auto resized = [this](int section) {
        if (section == 0 && !shownCover.isNull())
            showCover(0, shownCover);
    };
    resizeWatches[0] =
        QObject::connect(table->horizontalHeader(), &QHeaderView::sectionResized, table, resized);
    resizeWatches[1] =
        QObject::connect(table->verticalHeader(), &QHeaderView::sectionResized, table, resized);
}

QueueView::~QueueView()
{
    for (const QMetaObject::Connection& watch : resizeWatches)
        QObject::disconnect(watch);
}

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
    if (position == 0)
        shownCover = QImage();
    QTableWidgetItem* queueCell = queueTable->item(0, position);
    if (queueCell)
        queueCell->setText(track->displayText());
    colourSongCells(findSongCell(track, libraryCells), queueCell, track->state(), hue, position);
}

void QueueView::showCover(int position, const QImage& cover)
{
    QTableWidgetItem* cell = queueTable->item(0, position);
    const QSize size(queueTable->columnWidth(position), queueTable->rowHeight(0));
    shownCover = cover;
    if (!cell || cover.isNull() || size.isEmpty())
        return;
    // The row's first cell starts where the brush's pattern does, so the picture stands in the cell.
    cell->setBackground(QBrush(coverBehindText(cover, size, queueTable->devicePixelRatioF())));
    cell->setForeground(Qt::white);
}

void QueueView::showLibraryState(const Track* track, int hue, int waitingPosition)
{
    colourSongCells(findSongCell(track, libraryCells), nullptr, track->state(), hue, waitingPosition);
}

void QueueView::clearRow(int songs)
{
    shownCover = QImage();
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
