// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QByteArray;

struct TagInfo;

// Longest song the library accepts, in seconds (25 minutes).
constexpr double maximumTrackSeconds = 25 * 60;

// Judges the song's format by its content, measures its length, checks it, then reads its tags (ID3 for an
// MP3, TagLib's reading of the other formats' tags) into a new record owned by the caller.
// Returns null after logging the reason when the file is refused.
TagInfo* readTagInfo(const QString& path);

// The tag part of readTagInfo() alone, for a song already measured at `seconds`.
TagInfo* readTagsOfFile(const QString& path, double seconds);

// Logs why the file was not taken: "Reading ID3 tags of file: <path> ... <translated reason>".
void logRefusedFile(const QString& path, const char* reason);
// The reason of the last refusal this thread logged (null: none since the last call); the song cache
// keeps it, so that the file's next refusal reads the same.
const char* takeLastRefusal();
// The reason of readTagInfo()'s own that reads `reason`, null for any other text: a remembered reason is
// taken only when reading a file could have given it.
const char* knownRefusal(const QByteArray& reason);
