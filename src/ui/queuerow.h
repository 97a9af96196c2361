// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

class QShortcut;
class QTableWidget;
struct TextScale;

// The queue row above the grid: one cell a place of the queue.

// Hides the row's scroll bars, lays out its columns and gives every place its cell.
void buildQueueRow(QTableWidget* table);
// Column widths and row height: the columns share the width exactly; the row is as high as the text scale
// makes it.
void layoutQueueRow(QTableWidget* table);
// The row's style sheet, height and every cell's font follow a new text scale; the scale before says by how
// much a cell's own font grows.
void rescaleQueueRow(QTableWidget* table, const TextScale& before);
// Delete takes back the wish at the row's current cell, where a click or the arrow keys put it.
std::unique_ptr<QShortcut> takeBackWishesByKey(QTableWidget* table,
                                               const std::function<void(int)>& removeWish);
