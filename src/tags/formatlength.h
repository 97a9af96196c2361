// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tags/songformat.h"

#include <QtGlobal>

class SongFile;

// Playing time in seconds of a song in one of the formats beside MP3, from what its container stores when
// that can hold (FLAC's total samples, Ogg's last granule position, an MP4 sample table, a WAV data size),
// otherwise from walking the container's frames or pages; never decoding audio. Negative when the file
// holds no sound of that format that can be played: no audio track, a video, a broken container.
double formatLengthSeconds(const SongFile& song, SongFormat format);

// Where an MP4 keeps its tag items and whether it holds only sound: filled by walking its boxes once.
struct Mp4Layout
{
    bool playable = false;   // one audio track and no video track
    qint64 itemsOffset = -1; // the first byte inside moov/udta/meta/ilst, -1 when there is none
    qint64 itemsBytes = 0;   // the length of that list's content
};
Mp4Layout mp4Layout(const SongFile& song);
