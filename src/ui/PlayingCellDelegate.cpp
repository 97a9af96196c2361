// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PlayingCellDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <algorithm>

PlayingCellDelegate::PlayingCellDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

int PlayingCellDelegate::barHeight(int cellHeight)
{
    return std::max(3, cellHeight / 20);
}

void PlayingCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    if (shownClock.left.isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The row is taller than the table shows of it: the bar and the time keep to what is seen.
    QRect cell = option.rect;
    if (const auto* itemView = qobject_cast<const QAbstractItemView*>(option.widget))
        cell = cell.intersected(itemView->viewport()->rect());
    QStyleOptionViewItem look(option);
    initStyleOption(&look, index);
    // The item's own text colour, which the style took into the palette.
    const QColor ink = look.palette.color(QPalette::Text);
    painter->save();
    const QWidget* view = option.widget;
    (view ? view->style() : QApplication::style())
        ->drawControl(QStyle::CE_ItemViewItem, &look, painter, view);
    if (!shownClock.left.isEmpty()) {
        const int bar = barHeight(cell.height());
        QFont small = look.font;
        if (small.pointSizeF() > 0)
            small.setPointSizeF(small.pointSizeF() * 0.75);
        else
            small.setPixelSize(std::max(1, small.pixelSize() * 3 / 4));
        painter->setFont(small);
        painter->setPen(ink);
        const int margin = bar * 2;
        painter->drawText(cell.adjusted(margin, margin, -margin, -margin), Qt::AlignRight | Qt::AlignBottom,
                          shownClock.left);
        painter->fillRect(
            QRect(cell.left(), cell.bottom() - bar + 1, cell.width() * shownClock.permille / 1000, bar), ink);
    }
    painter->restore();
}
