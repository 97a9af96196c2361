// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class PlayQueue;
class Track;
class TrackLibrary;

// Why the queue did not take a wish.
enum class WishRefusal {
    None,        // taken
    NoSong,      // no such song (an empty cell, an unknown id)
    QueueFull,   // the playing song and every waiting place are taken
    Waiting,     // the song waits in the queue already
    Playing,     // the song plays now
    Played,      // played already; free again once every song has played
    NotPlayable, // its file could not be started
};

// The one way a wish reaches the queue, from the screen and from a phone alike: a free song joins the
// queue while there is room, with the queue's playlist line, cell colours and photo; anything else is
// refused and why is returned.
WishRefusal wishSong(PlayQueue& queue, TrackLibrary* library, Track* track);
