#pragma once

class QFile;
class QString;

// Playing time of an MP3 file in seconds, measured from the stream without decoding audio:
// exact from a Xing/Info/VBRI header that the file can hold, otherwise by scanning every frame header.
// Returns a negative value when the file cannot be opened or holds no MPEG audio frame, and 0 when its only
// frame is a Xing/Info/VBRI header.
double mp3LengthSeconds(const QString& path);
// The same for a file already open for reading (unbuffered), which moves its position.
double mp3LengthSeconds(QFile& file);
