// SPDX-License-Identifier: GPL-3.0-or-later
#include "party/playingclock.h"

#include <algorithm>
#include <cmath>

PlayingClock playingClock(double lengthSeconds, qint64 playedMilliseconds)
{
    PlayingClock clock;
    if (!(lengthSeconds > 0))
        return clock;
    const qint64 length = std::llround(lengthSeconds * 1000);
    const qint64 played = std::clamp<qint64>(playedMilliseconds, 0, length);
    // Started seconds count as whole ones, so the song starts at its full length and ends at 0:00.
    const qint64 secondsLeft = (length - played + 999) / 1000;
    clock.left = QStringLiteral("%1:%2").arg(secondsLeft / 60).arg(secondsLeft % 60, 2, 10, QLatin1Char('0'));
    clock.permille = int(played * 1000 / length);
    return clock;
}
