// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/formattags.h"

#include "tags/SongFile.h"
#include "tags/formatlength.h"
#include "tags/id3v2header.h"

#include <QByteArray>
#include <QVector>
#include <QtEndian>

#include <mp4file.h>
#include <tag.h>
#include <tbytevectorstream.h>
#include <wavfile.h>
#include <xiphcomment.h>

#include <cstring>
#include <utility>

namespace {

// No tag text a song record shows is longer; longer values are pictures, lyrics or damage.
constexpr qint64 longestValue = qint64(64) * 1024;
// An ID3 chunk of a WAV file is handed to TagLib whole up to this size, pictures and all; a larger one
// without its long frames.
constexpr qint64 largestId3Chunk = qint64(4) * 1024 * 1024;

QString fromTagLib(const TagLib::String& text)
{
    return QString::fromStdString(text.to8Bit(true));
}

QByteArray littleEndian32(quint32 n)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(n, bytes.data());
    return bytes;
}

QByteArray bigEndianBox(const char* type, const QByteArray& content)
{
    QByteArray box(8, Qt::Uninitialized);
    qToBigEndian(quint32(content.size() + 8), box.data());
    std::memcpy(box.data() + 4, type, 4);
    return box + content;
}

// The texts `tag` has where `texts` has none yet: a second tag of the same file only fills gaps.
void fillTexts(const TagLib::Tag& tag, FrameTexts& texts)
{
    const auto fill = [](QString& text, const QString& value) {
        if (text.isEmpty())
            text = value;
    };
    fill(texts.title, fromTagLib(tag.title()));
    fill(texts.artist, fromTagLib(tag.artist()));
    fill(texts.album, fromTagLib(tag.album()));
    fill(texts.genre, fromTagLib(tag.genre()));
    fill(texts.comment, fromTagLib(tag.comment()));
    fill(texts.year, tag.year() ? QString::number(tag.year()) : QString());
    fill(texts.trackNumber, tag.track() ? QString::number(tag.track()) : QString());
}

// ---- Vorbis comments ----

// The bytes of a stretch of the file laid out in pieces (an Ogg packet across pages), read through a
// window so that a comment of many short fields costs few reads.
class Pieces
{
public:
    explicit Pieces(const SongFile& file) : song(file) {}
    void add(qint64 offset, qint64 count) { pieces.append({offset, count}); }

    // The next `count` bytes into `kept`; with `kept` null they are passed over. False past the last piece.
    bool take(qint64 count, QByteArray* kept)
    {
        if (kept)
            kept->clear();
        while (count > 0) {
            if (piece >= pieces.size())
                return false;
            const auto& [offset, length] = pieces.at(piece);
            const qint64 step = qMin(count, length - within);
            if (kept)
                kept->append(bytesAt(offset + within, step));
            within += step;
            count -= step;
            if (within == length) {
                ++piece;
                within = 0;
            }
        }
        return true;
    }

    bool number(quint32& n)
    {
        QByteArray bytes;
        if (!take(4, &bytes) || bytes.size() != 4)
            return false;
        n = qFromLittleEndian<quint32>(bytes.constData());
        return true;
    }

private:
    QByteArray bytesAt(qint64 offset, qint64 count)
    {
        constexpr qint64 windowBytes = qint64(64) * 1024;
        if (offset < windowOffset || offset + count > windowOffset + window.size()) {
            if (count > windowBytes)
                return song.bytes(offset, count);
            window = song.bytes(offset, windowBytes);
            windowOffset = offset;
        }
        return window.mid(int(offset - windowOffset), int(count));
    }

    const SongFile& song;
    QVector<std::pair<qint64, qint64>> pieces;
    int piece = 0;
    qint64 within = 0;
    QByteArray window;
    qint64 windowOffset = 0;
};

bool isRecordField(const QByteArray& start)
{
    static const char* const keys[] = {
        "TITLE=", "ARTIST=", "ALBUM=", "GENRE=", "DATE=", "COMMENT=", "DESCRIPTION=", "TRACKNUMBER="};
    const QByteArray upper = start.toUpper();
    for (const char* key : keys)
        if (upper.startsWith(key))
            return true;
    return false;
}

// A Vorbis comment (vendor, count, fields) rebuilt with only the fields a song record is made of, then
// read by TagLib.
TagWalk readVorbisComment(Pieces& comment, FrameTexts& texts)
{
    quint32 vendorBytes = 0;
    quint32 count = 0;
    if (!comment.number(vendorBytes) || !comment.take(vendorBytes, nullptr) || !comment.number(count))
        return TagWalk::Malformed;
    QByteArray fields;
    quint32 kept = 0;
    for (quint32 i = 0; i < count; ++i) {
        quint32 length = 0;
        QByteArray start;
        QByteArray rest;
        if (!comment.number(length))
            break;
        const qint64 startBytes = qMin<qint64>(length, 16);
        if (!comment.take(startBytes, &start))
            break;
        const bool wanted = length <= longestValue && isRecordField(start);
        if (!comment.take(length - startBytes, wanted ? &rest : nullptr))
            break;
        if (wanted) {
            fields += littleEndian32(length) + start + rest;
            ++kept;
        }
    }
    const QByteArray rebuilt = littleEndian32(0) + littleEndian32(kept) + fields;
    const TagLib::Ogg::XiphComment tag(TagLib::ByteVector(rebuilt.constData(), uint(rebuilt.size())));
    fillTexts(tag, texts);
    return TagWalk::Read;
}

TagWalk readFlacTexts(const SongFile& song, FrameTexts& texts)
{
    qint64 offset = song.head().startsWith("fLaC") ? 0 : qMax<qint64>(0, id3v2TagBytes(song, 0));
    offset += 4;
    for (int blocks = 0; blocks < 4096; ++blocks) {
        const QByteArray header = song.bytes(offset, 4);
        if (header.size() < 4)
            return TagWalk::Malformed;
        const qint64 length = qFromBigEndian<quint32>(header.constData()) & 0xFFFFFF;
        if (offset + 4 + length > song.size())
            return TagWalk::Malformed;
        if ((header.at(0) & 0x7F) == 4) {
            Pieces comment(song);
            comment.add(offset + 4, length);
            return readVorbisComment(comment, texts);
        }
        if (header.at(0) & 0x80)
            break;
        offset += 4 + length;
    }
    return TagWalk::Read; // no comment block: the refusals say what is missing
}

TagWalk readOggTexts(const SongFile& song, SongFormat format, FrameTexts& texts)
{
    // The comment header is the second packet; it starts on the second page and may run over many.
    Pieces comment(song);
    bool first = true;
    bool ended = false;
    qint64 prefix = format == SongFormat::Opus ? 8 : 7; // "OpusTags", "\x03vorbis"
    for (qint64 offset = 0; offset < song.size() && !ended;) {
        const QByteArray header = song.bytes(offset, 27 + 255);
        if (header.size() < 27 || !header.startsWith("OggS"))
            return TagWalk::Malformed;
        const int segments = static_cast<quint8>(header.at(26));
        if (header.size() < 27 + segments)
            return TagWalk::Malformed;
        qint64 body = offset + 27 + segments;
        for (int i = 0; i < segments && !ended; ++i) {
            const int lacing = static_cast<quint8>(header.at(27 + i));
            if (!first)
                comment.add(body, lacing);
            ended = !first && lacing < 255;
            body += lacing;
        }
        first = false;
        offset = body;
    }
    QByteArray start;
    if (!ended || !comment.take(prefix, &start))
        return TagWalk::Malformed;
    if (start != (format == SongFormat::Opus ? QByteArray("OpusTags") : QByteArray("\x03vorbis", 7)))
        return TagWalk::Malformed;
    return readVorbisComment(comment, texts);
}

// ---- MP4 ----

TagWalk readMp4Texts(const SongFile& song, FrameTexts& texts)
{
    const Mp4Layout layout = mp4Layout(song);
    if (!layout.playable)
        return TagWalk::Unreadable;
    // TagLib gets a small file of the same item list, without the cover and anything too long to be text.
    // The genre as a number is taken aside: it is one of ID3v1's, counted from one, and ID3v1's list is ours
    // (TagLib would name it from its own).
    QByteArray items;
    int genreNumber = 0;
    const qint64 end = layout.itemsOffset + layout.itemsBytes;
    for (qint64 at = layout.itemsOffset; layout.itemsOffset >= 0 && at + 8 <= end;) {
        const QByteArray header = song.bytes(at, 8);
        const qint64 size = header.size() == 8 ? qFromBigEndian<quint32>(header.constData()) : 0;
        if (size < 8 || at + size > end)
            break;
        const QByteArray type = header.mid(4);
        if (type == "gnre") {
            // gnre > data (size, "data", type, locale) > a 16-bit number
            const QByteArray item = song.bytes(at, qMin<qint64>(size, 26));
            if (item.size() == 26 && item.mid(12, 4) == "data")
                genreNumber = qFromBigEndian<quint16>(item.constData() + 24);
        } else if (size <= longestValue && type != "covr") {
            items += song.bytes(at, size);
        }
        at += size;
    }
    const QByteArray ftyp = bigEndianBox("ftyp", QByteArray("M4A \0\0\0\0M4A ", 12));
    const QByteArray meta = bigEndianBox("meta", QByteArray(4, '\0') + bigEndianBox("ilst", items));
    const QByteArray tiny = ftyp + bigEndianBox("moov", bigEndianBox("udta", meta));
    TagLib::ByteVectorStream stream(TagLib::ByteVector(tiny.constData(), uint(tiny.size())));
    TagLib::MP4::File file(&stream, false);
    TagLib::MP4::Tag* tag = file.isValid() ? file.tag() : nullptr;
    if (!tag)
        return TagWalk::Malformed;
    fillTexts(*tag, texts);
    if (texts.genre.isEmpty() && genreNumber > 0)
        texts.genre = QStringLiteral("(%1)").arg(genreNumber - 1);
    return TagWalk::Read;
}

// ---- WAV ----

// An ID3v2.3 or v2.4 tag of the chunk at `offset`, with every frame longer than a tag text left out: a
// picture of any size costs nothing. Null for a tag whose frames cannot be walked so (unsynchronised, with an
// extended header, ID3v2.2), which is then left out whole.
QByteArray compactId3Tag(const SongFile& song, qint64 offset, qint64 size)
{
    const QByteArray header = song.bytes(offset, 10);
    if (size <= 10 || header.size() < 10 || !header.startsWith("ID3") ||
        (header.at(3) != 3 && header.at(3) != 4) || (header.at(5) & 0xC0))
        return QByteArray();
    const bool synchsafeSizes = header.at(3) == 4;
    QByteArray frames;
    for (qint64 at = offset + 10; at + 10 <= offset + size;) {
        const QByteArray frameHeader = song.bytes(at, 10);
        if (frameHeader.size() < 10 || frameHeader.at(0) == 0)
            break;
        quint32 length = qFromBigEndian<quint32>(frameHeader.constData() + 4);
        if (synchsafeSizes)
            length = ((length & 0x7F000000) >> 3) | ((length & 0x7F0000) >> 2) | ((length & 0x7F00) >> 1) |
                     (length & 0x7F);
        if (at + 10 + length > offset + size)
            break;
        if (length <= longestValue)
            frames += song.bytes(at, 10 + length);
        at += 10 + length;
    }
    QByteArray tag = header.left(5) + QByteArray(5, '\0') + frames;
    for (int i = 0; i < 4; ++i)
        tag[6 + i] = char((frames.size() >> (7 * (3 - i))) & 0x7F);
    return tag;
}

TagWalk readWavTexts(const SongFile& song, FrameTexts& texts)
{
    // TagLib gets a small WAV of the chunks it reads tags from: the format, the ID3 chunk and the INFO list.
    QByteArray chunks;
    for (qint64 at = 12, count = 0; at + 8 <= song.size() && count < 4096; ++count) {
        const QByteArray header = song.bytes(at, 8);
        if (header.size() < 8)
            break;
        const qint64 size = qFromLittleEndian<quint32>(header.constData() + 4);
        const QByteArray id = header.left(4);
        if ((id == "ID3 " || id == "id3 ") && size > largestId3Chunk) {
            const QByteArray tag = compactId3Tag(song, at + 8, size);
            chunks += id + littleEndian32(quint32(tag.size())) + tag + QByteArray(tag.size() & 1, '\0');
        } else if (((id == "fmt " || id == "LIST") && size <= longestValue) || id == "ID3 " || id == "id3 ") {
            const QByteArray chunk = song.bytes(at, 8 + size + (size & 1));
            if (chunk.size() == 8 + size + (size & 1))
                chunks += chunk;
        }
        at += 8 + size + (size & 1);
    }
    chunks += QByteArray("data\0\0\0\0", 8);
    const QByteArray tiny = QByteArray("RIFF") + littleEndian32(quint32(chunks.size() + 4)) + "WAVE" + chunks;
    TagLib::ByteVectorStream stream(TagLib::ByteVector(tiny.constData(), uint(tiny.size())));
    TagLib::RIFF::WAV::File file(&stream, false);
    if (!file.isValid())
        return TagWalk::Malformed;
    // The ID3 chunk first, as the richer tag; the INFO list fills what it lacks.
    if (file.hasID3v2Tag())
        fillTexts(*file.ID3v2Tag(), texts);
    if (file.hasInfoTag())
        fillTexts(*file.InfoTag(), texts);
    return TagWalk::Read;
}

} // namespace

TagWalk readFormatTexts(const SongFile& song, SongFormat format, FrameTexts& texts)
{
    if (!song.isOpen())
        return TagWalk::Unreadable;
    switch (format) {
    case SongFormat::Flac:
        return readFlacTexts(song, texts);
    case SongFormat::Vorbis:
    case SongFormat::Opus:
        return readOggTexts(song, format, texts);
    case SongFormat::Mp4:
        return readMp4Texts(song, texts);
    case SongFormat::Wav:
        return readWavTexts(song, texts);
    case SongFormat::Mp3:
        break;
    }
    return readFrameTexts(song, texts);
}
