// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class SongFile;

// The texts of the seven frames a song record is made of, before trimming and normalising.
struct FrameTexts
{
    QString title;
    QString artist;
    QString album;
    QString genre;
    QString year;
    QString comment;
    QString trackNumber;
};

enum class TagWalk {
    Read,       // the texts hold what the file's tags say (empty where a frame is missing)
    Unreadable, // the file could not be read
    Malformed,  // the tags are too damaged to be read at all
};

// Reads the ID3v2 (v2.2 to v2.4) and ID3v1 tags of a song file, mostly from the head and tail it has read.
TagWalk readFrameTexts(const SongFile& song, FrameTexts& texts);
