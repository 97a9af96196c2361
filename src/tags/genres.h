// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Label of an ID3v1 genre number; "" for 133, 134, negative numbers and numbers above 147.
// Labels of long names carry line breaks for the genre buttons.
QString genreName(int number);

// A TCON text as the genre buttons show it: a number (ASCII digits) anywhere in it selects its label, other
// texts get their line breaks and "'n'" spellings.
QString normalisedGenre(const QString& text);

// A TRCK text such as "3/12" or "07" as a decimal number; "0" when there is none.
QString normalisedTrackNumber(const QString& text);

// A number for the genre, the same for equal texts throughout the run; for the grid, which asks its genre
// filter once per genre instead of comparing the texts of fifty thousand songs. Any thread.
int genreNumber(const QString& genre);
