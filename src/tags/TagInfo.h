// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tags/songformat.h"
#include <QString>

// The tags of one song as the library uses them. Filled where a file is read, so that reading tags needs
// nothing of the library that keeps them.
struct TagInfo
{
    QString title;
    QString artist;
    QString album;
    QString genre; // with the line breaks of a genre button's label; may be empty
    QString year;
    QString comment;
    QString trackNumber; // a decimal number, "0" when the file has none
    double seconds = 0;
    SongFormat format = SongFormat::Mp3;
};
