// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "party/playingclock.h"

#include <QPixmap>
#include <QStyledItemDelegate>

// Paints the playing song's cell of the queue row: its text as every cell has it, what is left of the song
// in its corner and a thin bar along its bottom edge that fills as the song plays. A cover picture, when
// it has one, lies behind it all, darkened so the text stays readable. Other cells are painted as usual.
class PlayingCellDelegate : public QStyledItemDelegate
{
public:
    explicit PlayingCellDelegate(QObject* parent = nullptr);

    // The playing song's clock; an empty one paints neither time nor bar (nothing plays).
    void setClock(const PlayingClock& clock) { shownClock = clock; }
    const PlayingClock& clock() const { return shownClock; }
    // The picture behind the cell's text, or a null one for none. It is scaled to fill the cell once for
    // each size of the cell, not at every paint.
    void setCover(const QPixmap& picture);
    const QPixmap& coverPicture() const { return cover; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The bar's thickness in a cell `cellHeight` pixels high: thin, and still seen on a large screen.
    static int barHeight(int cellHeight);

private:
    // The cover scaled and cut to a cell of `filledSize`.
    const QPixmap& coverFilling(const QSize& cell) const;

    PlayingClock shownClock;
    QPixmap cover;
    mutable QPixmap filling;
    mutable QSize filledSize;
};
