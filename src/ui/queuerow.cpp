// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/queuerow.h"

#include "ui/startupdialogs.h"
#include "ui/style.h"

#include <QFont>
#include <QScrollBar>
#include <QShortcut>
#include <QTableWidget>
#include <new>

void buildQueueRow(QTableWidget* table)
{
    table->horizontalScrollBar()->hide();
    table->verticalScrollBar()->hide();
    layoutQueueRow(table);
    for (int column = 0; column < table->columnCount(); ++column) {
        auto* cell = new (std::nothrow) QTableWidgetItem;
        if (!cell) {
            showOutOfMemory();
            continue;
        }
        styleTableCell(cell);
        table->setItem(0, column, cell);
    }
}

void layoutQueueRow(QTableWidget* table)
{
    const int columns = qMax(1, table->columnCount());
    const int width = table->width() + (3 - columns) * table->lineWidth();
    for (int column = 0; column < columns; ++column)
        table->setColumnWidth(column, width / columns + (column == columns - 1 ? width % columns : 0));
    for (int row = 0; row < table->rowCount(); ++row)
        table->setRowHeight(row, textScale().pixels(100));
}

void rescaleQueueRow(QTableWidget* table, const TextScale& before)
{
    table->setStyleSheet(queueTableStyleSheet());
    table->setMaximumHeight(textScale().pixels(92));
    for (int column = 0; column < table->columnCount(); ++column) {
        QTableWidgetItem* cell = table->item(0, column);
        // A cell without a font of its own takes the style sheet's.
        if (!cell || !cell->data(Qt::FontRole).isValid())
            continue;
        QFont font = cell->font();
        font.setPointSizeF(font.pointSizeF() * textScale().points / before.points);
        cell->setFont(font);
    }
    layoutQueueRow(table);
}

std::unique_ptr<QShortcut> takeBackWishesByKey(QTableWidget* table,
                                               const std::function<void(int)>& removeWish)
{
    table->setEnabled(true);
    auto shortcut = std::make_unique<QShortcut>(QKeySequence(QKeySequence::Delete), table, nullptr, nullptr,
                                                Qt::WidgetShortcut);
    QObject::connect(shortcut.get(), &QShortcut::activated, table,
                     [table, removeWish]() { removeWish(table->currentColumn()); });
    return shortcut;
}
