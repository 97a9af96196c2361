// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QTableWidgetItem;
class SongCellIndex;
class Track;
enum class SongState;

// Hue of a waiting song at `position` (1 = next) while the head has played `elapsedSeconds` of
// `headSeconds`: it drifts from the colour of its place toward the colour of the place ahead.
int waitingHue(int position, int capacity, int elapsedSeconds, double headSeconds);

// Colours one or two cells of the same song by its state; a waiting song takes `hue` (-1: its place is
// unknown, only the text turns black), a free song the plain colours. The second cell may be null. The
// cells' accessible description says the state in words, a waiting song its `waitingPosition` (1 = next).
void colourSongCells(QTableWidgetItem* cell, QTableWidgetItem* secondCell, SongState state, int hue,
                     int waitingPosition = -1);

// The grid's cell of the song, or null when the grid does not show it (or there is no grid yet). The
// grid's index answers at once, where comparing the texts of every cell would grow with the library.
QTableWidgetItem* findSongCell(const Track* track, const SongCellIndex* cells);
