// SPDX-License-Identifier: GPL-3.0-or-later
#include "party/wishing.h"

#include "library/Track.h"
#include "party/PlayQueue.h"

WishRefusal wishSong(PlayQueue& queue, TrackLibrary* library, Track* track)
{
    if (!track || !library)
        return WishRefusal::NoSong;
    if (track->playing())
        return WishRefusal::Playing;
    if (track->queued())
        return WishRefusal::Waiting;
    if (track->played())
        return WishRefusal::Played;
    if (queue.queuedSongs().size() >= queue.queueCapacity())
        return WishRefusal::QueueFull;
    return queue.enqueue(track, library) ? WishRefusal::None : WishRefusal::NotPlayable;
}
