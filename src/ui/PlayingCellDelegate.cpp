// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PlayingCellDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <algorithm>

PlayingCellDelegate::PlayingCellDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void PlayingCellDelegate::setCover(const QPixmap& picture)
{
    cover = picture;
    filling = QPixmap();
    filledSize = QSize();
}

const QPixmap& PlayingCellDelegate::coverFilling(const QSize& cell) const
{
    if (cell != filledSize) {
        const QPixmap scaled = cover.scaled(cell, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        filling = scaled.copy((scaled.width() - cell.width()) / 2, (scaled.height() - cell.height()) / 2,
                              cell.width(), cell.height());
        filledSize = cell;
    }
    return filling;
}

int PlayingCellDelegate::barHeight(int cellHeight)
{
    return std::max(3, cellHeight / 20);
}

void PlayingCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    if (shownClock.left.isEmpty() && cover.isNull()) {
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
    QColor ink = look.palette.color(QPalette::Text);
    painter->save();
    if (!cover.isNull()) {
        painter->drawPixmap(cell.topLeft(), coverFilling(cell.size()));
        // Dark enough for white text over any picture.
        painter->fillRect(cell, QColor(0, 0, 0, 160));
        look.backgroundBrush = Qt::NoBrush;
        ink = Qt::white;
        look.palette.setColor(QPalette::Text, ink);
        look.palette.setColor(QPalette::HighlightedText, ink);
    }
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
