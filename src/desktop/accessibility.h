// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What a screen reader says of a song cell, which shows its state only in colour: played, playing,
// waiting at position n (1 = next), or free to wish.
QString songCellDescription(bool played, bool playing, int waitingPosition);
