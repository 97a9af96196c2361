// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongCellIndex.h"

void SongCellIndex::restart(int songs)
{
    cells.clear();
    cells.reserve(songs);
}

void SongCellIndex::add(const Track* track, QTableWidgetItem* cell)
{
    cells.insert(track, cell);
}

QTableWidgetItem* SongCellIndex::cellOf(const Track* track) const
{
    return cells.value(track, nullptr);
}
