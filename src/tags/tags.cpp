// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/tags.h"

#include "base/plaintext.h"
#include "base/runlog.h"
#include "tags/SongFile.h"
#include "tags/TagInfo.h"
#include "tags/formatlength.h"
#include "tags/formattags.h"
#include "tags/genres.h"
#include "tags/mp3length.h"
#include "tags/tagwalker.h"

#include <QByteArray>
#include <QCoreApplication>

namespace {

const char* const readingFailed = QT_TRANSLATE_NOOP("QWidget", "reading the music data failed.");
const char* const titleFailed = QT_TRANSLATE_NOOP("QWidget", "title failed.");
const char* const artistFailed = QT_TRANSLATE_NOOP("QWidget", "artist failed.");
const char* const lengthFailed = QT_TRANSLATE_NOOP("QWidget", "too few (<0) or too many seconds -> failed.");

TagInfo* refuse(const QString& path, const char* reason)
{
    logRefusedFile(path, reason);
    return nullptr;
}

thread_local const char* lastRefusal = nullptr;

} // namespace

const char* takeLastRefusal()
{
    const char* reason = lastRefusal;
    lastRefusal = nullptr;
    return reason;
}

const char* knownRefusal(const QByteArray& reason)
{
    for (const char* known : {readingFailed, titleFailed, artistFailed, lengthFailed})
        if (reason == known)
            return known;
    return nullptr;
}

void logRefusedFile(const QString& path, const char* reason)
{
    lastRefusal = reason;
    // A line break in a file name would otherwise forge a log line of its own.
    logMessage(QCoreApplication::translate("QWidget", "Reading ID3 tags of file:") + QLatin1Char(' ') +
               oneLineText(path) + QStringLiteral(" ... ") + QCoreApplication::translate("QWidget", reason));
}

namespace {

// The tags of a file that has been measured already, read through the same opening.
TagInfo* readTagsOfOpenFile(const SongFile& song, SongFormat format, const QString& path, double seconds)
{
    FrameTexts texts;
    const TagWalk walk = song.isOpen() ? readFormatTexts(song, format, texts) : TagWalk::Unreadable;
    if (walk == TagWalk::Unreadable)
        return refuse(path, readingFailed);
    const bool read = walk == TagWalk::Read;
    const QString title = texts.title.trimmed();
    if (!read || title.isEmpty())
        return refuse(path, titleFailed);
    const QString artist = texts.artist.trimmed();
    if (artist.isEmpty())
        return refuse(path, artistFailed);

    TagInfo* info = new TagInfo;
    info->title = title;
    info->artist = artist;
    info->album = texts.album.trimmed();
    info->genre = texts.genre.isEmpty() ? QString() : normalisedGenre(texts.genre);
    info->year = texts.year.trimmed();
    info->comment = texts.comment.trimmed();
    info->trackNumber = normalisedTrackNumber(texts.trackNumber);
    info->seconds = seconds;
    info->format = format;
    return info;
}

} // namespace

TagInfo* readTagInfo(const QString& path)
{
    // One opening serves the length and the tags, mostly from the file's head and tail read once each: a
    // large collection is read as fast as its files open. Anything but a plain file (a folder named *.mp3,
    // a FIFO, a device) holds no song.
    const SongFile song(path);
    const SongFormat format = formatOf(song);
    const double seconds =
        format == SongFormat::Mp3 ? mp3LengthSeconds(song) : formatLengthSeconds(song, format);
    if (seconds < 0)
        return refuse(path, readingFailed);
    if (!(seconds > 0 && seconds <= maximumTrackSeconds))
        return refuse(path, lengthFailed);
    return readTagsOfOpenFile(song, format, path, seconds);
}

TagInfo* readTagsOfFile(const QString& path, double seconds)
{
    const SongFile song(path);
    return readTagsOfOpenFile(song, formatOf(song), path, seconds);
}
