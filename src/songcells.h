#pragma once

class PlayQueue;
class QTableWidget;
class QTableWidgetItem;
class Track;

// Hue of a waiting song at `position` (1 = next) while the head has played `elapsedSeconds` of
// `headSeconds`: it drifts from the colour of its place toward the colour of the place ahead.
int waitingHue(int position, int capacity, int elapsedSeconds, double headSeconds);

// Colours one or two cells of the same song by its state: played, playing, or waiting at `position` in
// the queue (-1: look the place up). The second cell may be null.
void colourSongCells(QTableWidgetItem* cell, QTableWidgetItem* secondCell, const Track* track, int position,
                     const PlayQueue* queue);

// The one cell of `table` showing the song (case-insensitive whole text), or null unless exactly one matches.
QTableWidgetItem* findSongCell(const Track* track, QTableWidget* table);
