#pragma once

#include <QString>

struct TagInfo;

// Longest song the library accepts, in seconds (25 minutes).
constexpr double maximumTrackSeconds = 25 * 60;

// Measures the song's length, checks it, then reads its ID3 tags into a new record owned by the caller.
// Returns null after logging the reason when the file is refused.
TagInfo* readTagInfo(const QString& path);

// The tag part of readTagInfo() alone, for a song already measured at `seconds`.
TagInfo* readTagsOfFile(const QString& path, double seconds);

// Logs why the file was not taken: "Reading ID3 tags of file: <path> ... <translated reason>".
void logRefusedFile(const QString& path, const char* reason);
// The reason of the last refusal this thread logged (null: none since the last call); the song cache
// keeps it, so that the file's next refusal reads the same.
const char* takeLastRefusal();

// Label of an ID3v1 genre number; "" for 133, 134, negative numbers and numbers above 147.
// Labels of long names carry line breaks for the genre buttons.
QString genreName(int number);

// A TCON text as the genre buttons show it: a number (ASCII digits) anywhere in it selects its label, other
// texts get their line breaks and "'n'" spellings.
QString normalisedGenre(const QString& text);

// A TRCK text such as "3/12" or "07" as a decimal number; "0" when there is none.
QString normalisedTrackNumber(const QString& text);
