// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongCellIndex.h"

#include "Track.h"

#include <QTableWidgetItem>

void SongCellIndex::restart(int songs)
{
    previous.swap(cells);
    cells.clear();
    cells.reserve(songs);
}

void SongCellIndex::add(const Track* track, QTableWidgetItem* cell, SongState state, int hue)
{
    cells.insert(track, Entry{cell, state, hue});
}

QTableWidgetItem* SongCellIndex::cellOf(const Track* track) const
{
    const auto found = cells.constFind(track);
    return found == cells.cend() ? nullptr : found->cell;
}

bool SongCellIndex::showedAlready(const Track* track, const QTableWidgetItem* cell, SongState state,
                                  int hue) const
{
    const auto found = previous.constFind(track);
    // The text guards against a cell deleted since and another made at the same address.
    return cell && found != previous.cend() && found->cell == cell && found->state == state &&
           found->hue == hue && cell->text() == track->displayText();
}
