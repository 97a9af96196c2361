// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

// What the playing song's cell shows of its time: what is left, as the phones' page says it, and how far
// the song is.
struct PlayingClock
{
    // "m:ss" left, counting down to 0:00 at the song's last second; empty for a song of unknown length.
    QString left;
    // How much has played, in thousandths of the length (0 to 1000).
    int permille = 0;

    bool operator==(const PlayingClock& other) const
    {
        return left == other.left && permille == other.permille;
    }
    bool operator!=(const PlayingClock& other) const { return !(*this == other); }
};

// The clock of a song `lengthSeconds` long of which the device has played `playedMilliseconds` (-1: no
// stream yet, counted as its start). The device's count stands still while the song is paused, and so
// does the clock.
PlayingClock playingClock(double lengthSeconds, qint64 playedMilliseconds);
