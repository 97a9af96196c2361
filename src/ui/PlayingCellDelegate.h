// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "party/playingclock.h"

#include <QStyledItemDelegate>

// Paints the playing song's cell of the queue row: its text as every cell has it, what is left of the song
// in its corner and a thin bar along its bottom edge that fills as the song plays. A cover picture, when
// it has one, is the cell's own background (the queue's view sets it), and the time and bar take the cell's
// text colour. Other cells are painted as usual.
class PlayingCellDelegate : public QStyledItemDelegate
{
public:
    explicit PlayingCellDelegate(QObject* parent = nullptr);

    // The playing song's clock; an empty one paints neither time nor bar (nothing plays).
    void setClock(const PlayingClock& clock) { shownClock = clock; }
    const PlayingClock& clock() const { return shownClock; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The bar's thickness in a cell `cellHeight` pixels high: thin, and still seen on a large screen.
    static int barHeight(int cellHeight);

private:
    PlayingClock shownClock;
};
