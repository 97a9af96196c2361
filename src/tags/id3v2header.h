// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// Total bytes of the ID3v2 tag whose 10-byte header starts at `header` (header, body and footer), 0 when
// the bytes are no ID3v2 header, -1 when its size is not a synchsafe number.
qint64 id3v2TagBytes(const uchar* header);
