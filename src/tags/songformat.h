// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QtGlobal>
class QByteArray;
class QString;
class QStringList;
class SongFile;

// The kinds of song file the library takes. MP3 is read and played by libmpg123 as ever; the others are
// read by TagLib and played through FFmpeg's libraries.
enum class SongFormat {
    Mp3,
    Flac,
    Vorbis, // Ogg Vorbis
    Opus,   // Ogg Opus
    Mp4,    // M4A: AAC or Apple Lossless in an MP4 container
    Wav
};

// The file name endings (lower case, without the dot) a folder scan and a drop take as songs. The ending only
// decides which files are looked at; what a file holds is judged by its content.
const QStringList& songFileSuffixes();
// Whether `fileName` ends in one of them, in any letter case.
bool hasSongSuffix(const QString& fileName);
// Name filters ("*.mp3", …) for QDir, matched case-insensitively by QDir on every file system.
QStringList songFileNameFilters();

// What `head` (a file's first bytes, from offset 0) holds, judged by its content: the signature of FLAC, Ogg
// (Vorbis or Opus by the first packet), an MP4 container or RIFF WAVE. Anything else is MP3, so that the MP3
// reader refuses what is no song with the reasons it always gave.
SongFormat formatOfHead(const QByteArray& head);
// The same for an open file, looking behind an ID3v2 tag that some taggers put in front of a FLAC stream.
SongFormat formatOf(const SongFile& song);

// A short stable name, as the song cache stores it ("mp3", "flac", "vorbis", "opus", "mp4", "wav").
const char* formatKey(SongFormat format);
// The format of a stored key; false for a key no format has.
bool formatFromKey(const QByteArray& key, SongFormat* format);
