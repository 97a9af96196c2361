// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PlayingCellDelegate.h"

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
    if (shownClock.left.isEmpty() && cover.isNull()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QRect cell = option.rect;
    QStyleOptionViewItem look(option);
    initStyleOption(&look, index);
    // The item's own text colour, which the style took into the palette.
    QColor ink = look.palette.color(QPalette::Text);
    painter->save();
    if (!cover.isNull()) {
        const QPixmap filling =
            cover.scaled(cell.size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        painter->drawPixmap(cell, filling,
                            QRect((filling.width() - cell.width()) / 2,
                                  (filling.height() - cell.height()) / 2, cell.width(), cell.height()));
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
        small.setPointSizeF(small.pointSizeF() * 0.75);
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
