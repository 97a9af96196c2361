// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QString;
class SongFile;

// Playing time of an MP3 file in seconds, measured from the stream without decoding audio:
// exact from a Xing/Info/VBRI header that the file can hold, from a few frames spread over a
// constant-bit-rate stream, otherwise by scanning every frame header.
// Returns a negative value when the file cannot be opened or holds no MPEG audio frame, and 0 when its only
// frame is a Xing/Info/VBRI header.
double mp3LengthSeconds(const QString& path);
// The same for a song file already opened, which reads little more than its head and tail when the stream
// has a header or a constant bit rate.
double mp3LengthSeconds(const SongFile& song);
