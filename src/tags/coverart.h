// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Where a song's cover came from, in the order they are looked for.
enum class CoverSource { None, EmbeddedFront, EmbeddedFirst, CoverFile, FolderFile, FrontFile };

struct CoverArt
{
    QImage image; // null when the song has none
    CoverSource source = CoverSource::None;
};

// A picture tag or a picture file larger than this is never read into memory.
constexpr qint64 maxCoverBytes = 16LL * 1024 * 1024;

// The song's cover, fitting into `maxSize`: the picture its tags hold (the front cover, else the first
// picture; ID3v2 of MP3 and WAV, FLAC, Ogg, Opus, MP4), else cover.jpg, folder.jpg or front.jpg beside it
// (any case). A picture that is too large or broken is skipped with a line in the log, and the next one
// in that order is tried. Reads the file: for the pool, never the GUI thread.
CoverArt readCoverArt(const QString& songPath, const QSize& maxSize);
