// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongCellIndex.h"

#include "Track.h"

#include <algorithm>

void SongCellIndex::restart(int songs)
{
    previous.swap(places);
    places.clear();
    places.reserve(static_cast<size_t>(std::max(0, songs)));
}

void SongCellIndex::add(Track* track, QTableWidgetItem* cell, SongState state, int hue)
{
    track->setGridPlace(size());
    places.push_back(Place{track, cell, state, hue});
}

QTableWidgetItem* SongCellIndex::cellOf(const Track* track) const
{
    if (!track)
        return nullptr;
    const int place = track->gridPlace();
    if (place < 0 || place >= size() || places[static_cast<size_t>(place)].track != track)
        return nullptr;
    return places[static_cast<size_t>(place)].cell;
}

bool SongCellIndex::showedAlready(const Track* track, const QTableWidgetItem* cell, SongState state,
                                  int hue) const
{
    const size_t place = places.size();
    if (!cell || place >= previous.size())
        return false;
    // Between rebuilds no cell of the grid is deleted or replaced, so the same cell at the same place
    // still shows the song as the last rebuild left it.
    const Place& last = previous[place];
    return last.track == track && last.cell == cell && last.state == state && last.hue == hue;
}
