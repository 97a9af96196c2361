// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SongCellIndex.h"

#include "library/Track.h"

#include <QTableWidgetItem>

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

void SongCellIndex::DeletesCell::operator()(QTableWidgetItem* cell) const
{
    delete cell;
}

bool SongCellIndex::showedSong(const QTableWidgetItem* cell) const
{
    const size_t place = places.size();
    return cell && place < previous.size() && previous[place].cell == cell;
}

const Track* SongCellIndex::shownBefore(int place, const QTableWidgetItem* cell) const
{
    const auto at = static_cast<size_t>(place);
    return place >= 0 && at < previous.size() && previous[at].cell == cell ? previous[at].track : nullptr;
}

void SongCellIndex::setAside(int place, QTableWidgetItem* cell, const Track* track, SongState state, int hue)
{
    if (place < 0 || !cell)
        return;
    const auto at = static_cast<size_t>(place);
    if (at >= aside.size()) {
        aside.resize(at + 1);
        asideShowed.resize(at + 1);
    }
    aside[at].reset(cell);
    asideShowed[at] = Place{track, cell, state, hue};
}

SongCellIndex::Aside SongCellIndex::takeAside(const Track* track, SongState state, int hue)
{
    const size_t at = places.size();
    if (at >= aside.size() || !aside[at])
        return {};
    // The song must still have had this place at its last rebuild: a song made since, where a deleted one
    // was, has not been placed yet.
    const Place& showed = asideShowed[at];
    const bool same = showed.track && showed.track == track && track->gridPlace() == static_cast<int>(at) &&
                      showed.state == state && showed.hue == hue;
    return {aside[at].release(), showed.track != nullptr, same};
}

void SongCellIndex::dropAside()
{
    aside.clear();
    asideShowed.clear();
}
