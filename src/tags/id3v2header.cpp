// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/id3v2header.h"

#include <cstring>

qint64 id3v2TagBytes(const uchar* header)
{
    if (std::memcmp(header, "ID3", 3) != 0)
        return 0;
    const uchar* size = header + 6;
    if ((size[0] | size[1] | size[2] | size[3]) & 0x80)
        return -1;
    const qint64 body = (qint64(size[0]) << 21) | (qint64(size[1]) << 14) | (qint64(size[2]) << 7) | size[3];
    const qint64 footer = (header[3] >= 4 && (header[5] & 0x10)) ? 10 : 0;
    return 10 + body + footer;
}
