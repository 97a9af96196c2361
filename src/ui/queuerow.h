// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

class QShortcut;
class QTableWidget;

// The queue row above the grid: one cell a place of the queue.

// Hides the row's scroll bars, lays out its columns and gives every place its cell.
void buildQueueRow(QTableWidget* table);
// Column widths and row height: the columns share the width exactly.
void layoutQueueRow(QTableWidget* table);
// Delete takes back the wish at the row's current cell, where a click or the arrow keys put it.
std::unique_ptr<QShortcut> takeBackWishesByKey(QTableWidget* table,
                                               const std::function<void(int)>& removeWish);
