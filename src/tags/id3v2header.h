// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

class SongFile;

// Total bytes of the ID3v2 tag at `offset` of `song` (header, body and footer), 0 when none starts there, -1
// when its size cannot be trusted. Some old taggers wrote the size as a plain 32-bit number: where nothing a
// tag may be followed by starts behind the synchsafe size but something does behind the plain one, the plain
// size counts.
qint64 id3v2TagBytes(const SongFile& song, qint64 offset);
