// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QVector>

#include <vector>

namespace vimobench {

// What the simulated phones saw.
struct PhoneLoadResult
{
    int phones = 0;   // phones that got their token and followed the queue
    int wishes = 0;   // wishes sent
    int accepted = 0; // wishes the queue took
    std::vector<int> acceptedSongs;
    QVector<double> searchMs;  // from sending a search to its whole answer
    QVector<double> visibleMs; // from sending an accepted wish until every phone's stream showed it
    int unanswered = 0;        // requests without a whole answer
    QVector<double> selfieMs;  // from sending a photo to an accepted wish until it was taken
    int selfiesRefused = 0;
};

// A connection to 127.0.0.1:`port` from 127.0.0.`host`; a blocking one gives up on a silent server after
// three seconds. -1 when none can be made.
int connectFromLoopback(int host, int port, bool blocking);

// `phones` phones on 127.0.0.1:`port`, each from a loopback address of its own (127.0.0.2 and up), each
// following the queue's event stream and searching every few seconds; together they wish random songs of
// ids 0 .. songs - 1 at `wishesPerSecond`. Runs on threads of its own for `seconds` and returns; the
// caller's thread keeps running its event loop meanwhile through `pump`, called every few milliseconds.
// With `selfies`, a phone whose wish was accepted sends a small photo with it, as a guest would.
PhoneLoadResult runPhoneLoad(int port, int phones, double wishesPerSecond, double seconds, int songs,
                             void (*pump)(), bool selfies = false);

} // namespace vimobench
