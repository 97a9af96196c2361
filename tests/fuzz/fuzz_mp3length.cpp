// SPDX-License-Identifier: GPL-3.0-or-later
// Length measurement on arbitrary file bytes: always a finite number of seconds, or -1 for a file that holds
// no MPEG audio (an empty one among them).
#include "fuzzsupport.h"
#include "tags/mp3length.h"

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    vimofuzz::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = vimofuzz::inputFile(data, size, "song.mp3");
    const double seconds = mp3LengthSeconds(path);
    vimofuzz::check(std::isfinite(seconds) && (seconds >= 0 || seconds == -1), "a finite length, or -1");
    vimofuzz::check(size > 0 || seconds < 0, "an empty file holds no audio");
    return 0;
}
