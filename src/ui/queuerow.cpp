// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/queuerow.h"

#include "ui/startupdialogs.h"
#include "ui/style.h"

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
        table->setRowHeight(row, 100);
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
