#pragma once

class QFile;
class QString;

// Playing time of an MP3 file in seconds, measured from the stream without decoding audio:
// exact from a Xing/Info/VBRI header or for constant bit rate, otherwise by scanning every frame header.
// Returns a negative value when the file cannot be opened as a music stream, and 0 when it holds no frame.
double mp3LengthSeconds(const QString& path);
// The same for a file already open for reading (unbuffered), which moves its position.
double mp3LengthSeconds(QFile& file);
