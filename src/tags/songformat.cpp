// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/songformat.h"
#include "tags/SongFile.h"
#include "tags/id3v2header.h"
#include <QByteArray>
#include <QStringList>
#include <array>
#include <cstring>

namespace {

struct FormatName
{
    SongFormat format;
    const char* key;
};

constexpr std::array<FormatName, 6> formatNames{{{SongFormat::Mp3, "mp3"},
                                                 {SongFormat::Flac, "flac"},
                                                 {SongFormat::Vorbis, "vorbis"},
                                                 {SongFormat::Opus, "opus"},
                                                 {SongFormat::Mp4, "mp4"},
                                                 {SongFormat::Wav, "wav"}}};

bool startsWith(const QByteArray& bytes, int offset, const char* signature)
{
    const int length = int(std::strlen(signature));
    return bytes.size() >= offset + length &&
           std::memcmp(bytes.constData() + offset, signature, size_t(length)) == 0;
}

// The first page of an Ogg stream holds the codec's identification packet alone: its header is 27 bytes plus
// one byte per segment, and the packet follows.
SongFormat oggFormat(const QByteArray& head)
{
    if (head.size() < 28)
        return SongFormat::Mp3;
    const int packet = 27 + int(static_cast<unsigned char>(head.at(26)));
    if (startsWith(head, packet, "OpusHead"))
        return SongFormat::Opus;
    if (startsWith(head, packet, "\x01vorbis"))
        return SongFormat::Vorbis;
    return SongFormat::Mp3;
}

} // namespace

const QStringList& songFileSuffixes()
{
    static const QStringList suffixes{QStringLiteral("mp3"), QStringLiteral("flac"), QStringLiteral("ogg"),
                                      QStringLiteral("oga"), QStringLiteral("opus"), QStringLiteral("m4a"),
                                      QStringLiteral("mp4"), QStringLiteral("wav")};
    return suffixes;
}

bool hasSongSuffix(const QString& fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QStringRef suffix = fileName.midRef(dot + 1);
    for (const QString& known : songFileSuffixes()) {
        if (suffix.compare(known, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QStringList songFileNameFilters()
{
    QStringList filters;
    for (const QString& suffix : songFileSuffixes())
        filters << QStringLiteral("*.") + suffix;
    return filters;
}

SongFormat formatOfHead(const QByteArray& head)
{
    if (startsWith(head, 0, "fLaC"))
        return SongFormat::Flac;
    if (startsWith(head, 0, "OggS"))
        return oggFormat(head);
    if (startsWith(head, 0, "RIFF") && startsWith(head, 8, "WAVE"))
        return SongFormat::Wav;
    if (startsWith(head, 4, "ftyp"))
        return SongFormat::Mp4;
    return SongFormat::Mp3;
}

SongFormat formatOf(const SongFile& song)
{
    const SongFormat format = formatOfHead(song.head());
    if (format != SongFormat::Mp3)
        return format;
    const qint64 tagBytes = id3v2TagBytes(song, 0);
    if (tagBytes <= 0 || tagBytes >= song.size())
        return format;
    // Only FLAC is found behind an ID3v2 tag: an MP3's frames follow it anyway.
    return startsWith(song.bytes(tagBytes, 4), 0, "fLaC") ? SongFormat::Flac : SongFormat::Mp3;
}

const char* formatKey(SongFormat format)
{
    for (const FormatName& name : formatNames) {
        if (name.format == format)
            return name.key;
    }
    return "mp3";
}

bool formatFromKey(const QByteArray& key, SongFormat* format)
{
    for (const FormatName& name : formatNames) {
        if (key == name.key) {
            *format = name.format;
            return true;
        }
    }
    return false;
}
