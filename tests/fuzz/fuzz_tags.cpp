// SPDX-License-Identifier: GPL-3.0-or-later
// Tag reading on arbitrary file bytes, length measurement aside: id3lib and TagLib get only tags whose
// structure was checked first, and a file is either refused or gives a record with a title and an artist.
#include "fuzzsupport.h"
#include "library/Track.h"
#include "tags/tags.h"

#include <memory>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    vimofuzz::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = vimofuzz::inputFile(data, size, "song.mp3");
    const std::unique_ptr<TagInfo> tags(readTagsOfFile(path, 1.0));
    if (tags) {
        vimofuzz::check(!tags->title.isEmpty() && tags->title == tags->title.trimmed(), "trimmed title");
        vimofuzz::check(!tags->artist.isEmpty() && tags->artist == tags->artist.trimmed(), "trimmed artist");
        vimofuzz::check(!tags->trackNumber.isEmpty(), "a track number");
        vimofuzz::check(tags->seconds == 1.0, "the given length");
    }
    return 0;
}
