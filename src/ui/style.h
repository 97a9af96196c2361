// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop/textscale.h"

#include <QString>

class QAbstractButton;
class QColor;
class QFont;
class QTableWidgetItem;

// The three process-wide colours; invalid until setStyleColours() has run.
QColor& backgroundColour();
QColor& textColour();
QColor& accentColour();
void setStyleColours();

// The process-wide scale of the grid, the queue row, the genre buttons and the photo window, set for the
// screen the window is on; 1 until set. Texts and cells styled after a change take it on; the window restyles
// what it shows already.
const TextScale& textScale();
void setTextScale(const TextScale& scale);
// "<size>pt" of a style sheet's font at the text scale: "16pt" as specified.
QString scaledPoints(double specifiedPoints);
// Arial at `specifiedPoints` pt times the text scale, antialiasing preferred: the font of every cell.
QFont scaledArial(double specifiedPoints);

// "rgb(R,G,B);" of a colour, and "background-color: rgb(R,G,B);".
QString rgbRule(const QColor& colour);
QString backgroundRule(const QColor& colour);

QString bigButtonStyleSheet();
// The queue row's font follows the text scale.
QString queueTableStyleSheet();
QString libraryTableStyleSheet();
QString scrollBarStyleSheet();
QString gradientButtonStyleSheet(double pointSize, const QString& checkedTop, const QString& checkedBottom,
                                 const QString& normalTop, const QString& normalBottom);

// Sets the gradient button sheet; colours are six hex digits without "#".
void applyButtonStyle(QAbstractButton* button, double pointSize, const QString& checkedTop,
                      const QString& checkedBottom, const QString& normalTop, const QString& normalBottom);

// Every cell the program makes: colours, centred, Arial 16 pt (times the text scale), selectable and enabled
// but not editable.
void styleTableCell(QTableWidgetItem* item);

// A place of the grid without a song: the background colour, neither selectable nor enabled, which is
// also how the grid tells it from a song's cell when it reuses its cells.
void styleFillerCell(QTableWidgetItem* item);
bool isFillerCell(const QTableWidgetItem* item);

// The cells of the playing song, and of a song waiting in the queue at a place of this hue.
QColor playingColour();
QColor waitingColour(int hue);

// The genre buttons: green while chosen, red otherwise. The pause button: blue while paused. Both at the
// text scale.
void applyGenreButtonStyle(QAbstractButton* button);
void applyPauseButtonStyle(QAbstractButton* button);
