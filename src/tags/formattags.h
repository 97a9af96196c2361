// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tags/songformat.h"
#include "tags/tagwalker.h"

// Reads the tags of a song in one of the formats beside MP3 through TagLib: FLAC's and Ogg's Vorbis
// comments, an MP4's items, a WAV's ID3 chunk or RIFF INFO list. TagLib is handed only the tag's own bytes,
// gathered by walking the file first and leaving out pictures and any value larger than a tag text can be,
// so that a huge picture or a size claiming gigabytes costs no memory.
TagWalk readFormatTexts(const SongFile& song, SongFormat format, FrameTexts& texts);
