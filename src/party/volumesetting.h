// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QSettings;

// The host's volume, stored as [Audio] Volume: 0 to 100 % of the music's amplitude.
namespace volumesetting {
constexpr int loudest = 100;
// What one press of + or - changes.
constexpr int step = 5;

// The stored volume; a missing one is stored as the loudest, and a value that is no number or lies
// outside 0..100 is logged and read as the nearest volume there is (a word as the loudest).
int read(QSettings* settings);
void store(QSettings* settings, int percent);
} // namespace volumesetting
