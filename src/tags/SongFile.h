// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

class QString;

// One song file, read for its length and tags with few system calls: opened once, sized with one fstat, its
// first and last bytes read once each. Whatever else the length or the tags need is read where it lies
// (pread), never mapped: a file cut short while mapped would kill the program.
class SongFile
{
public:
    // The head holds the tags of most files and the first frames behind them; the tail an ID3v1 tag, an
    // APE tag and the last frames.
    static constexpr qint64 headBytes = qint64(16) * 1024;
    static constexpr qint64 tailBytes = qint64(8) * 1024;

    // Opens `path` when it names a plain file (never waiting on a FIFO or a device) and reads its ends.
    explicit SongFile(const QString& path);
    ~SongFile();
    SongFile(const SongFile&) = delete;
    SongFile& operator=(const SongFile&) = delete;

    // False when the path names no plain file that could be opened and read.
    bool isOpen() const { return descriptor >= 0; }
    qint64 size() const { return fileSize; }

    // Up to `count` bytes at `offset` (fewer at the end of the file or on a read error): from the head or
    // the tail when one holds them all, otherwise read from the file.
    QByteArray bytes(qint64 offset, qint64 count) const;
    // Reads up to `count` bytes at `offset` into `buffer`: the number read, -1 on failure.
    qint64 read(qint64 offset, char* buffer, qint64 count) const;

    const QByteArray& head() const { return first; }
    const QByteArray& tail() const { return last; }
    qint64 tailOffset() const { return fileSize - last.size(); }

private:
    int descriptor = -1;
    qint64 fileSize = 0;
    QByteArray first;
    QByteArray last;
};
