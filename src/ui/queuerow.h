// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QTableWidget;

// The queue row above the grid: one cell a place of the queue.

// Hides the row's scroll bars, lays out its columns and gives every place its cell.
void buildQueueRow(QTableWidget* table);
// Column widths and row height: the columns share the width exactly.
void layoutQueueRow(QTableWidget* table);
