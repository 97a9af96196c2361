// SPDX-License-Identifier: GPL-3.0-or-later
// The formats beside MP3 on arbitrary file bytes: the format judged by content, the length each container
// gives and the tags TagLib reads from what the walk hands it. A file is refused or gives a whole record,
// and every format's reader takes every input, whatever format the input was judged to be.
#include "fuzzsupport.h"
#include "tags/SongFile.h"
#include "tags/TagInfo.h"
#include "tags/formatlength.h"
#include "tags/formattags.h"
#include "tags/tags.h"

#include <cmath>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    vimofuzz::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = vimofuzz::inputFile(data, size, "song.m4a");
    const std::unique_ptr<TagInfo> tags(readTagInfo(path));
    if (tags) {
        vimofuzz::check(!tags->title.isEmpty() && !tags->artist.isEmpty(), "a title and an artist");
        vimofuzz::check(tags->seconds > 0 && tags->seconds <= maximumTrackSeconds, "a length in bounds");
    }
    const SongFile song(path);
    for (const SongFormat format :
         {SongFormat::Flac, SongFormat::Vorbis, SongFormat::Opus, SongFormat::Mp4, SongFormat::Wav}) {
        vimofuzz::check(!std::isnan(formatLengthSeconds(song, format)), "a length that is a number");
        FrameTexts texts;
        readFormatTexts(song, format, texts);
    }
    return 0;
}
