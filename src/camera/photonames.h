// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QDateTime;

// The value's decimal digits right-aligned in at least three characters, filled with zeros or blanks;
// 1000 and more are written in full.
QString paddedNumber(int value, bool zeroFill);

// Removes every run of the characters that Windows forbids in file names: \ / : " * ? < > |
void removeUnsafeFileNameCharacters(QString& name);

// "yyyy-MM-dd hh-mm-ss -   7 - Artist - Title[ - (random)].jpg", cleaned of unsafe characters, with
// every control character a blank; the longer of artist and title is shortened until the name fits into 255
// bytes.
QString portraitFileName(const QDateTime& takenAt, int counter, const QString& artist, const QString& title,
                         bool random);
