// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/tagwalker.h"

#include "tags/SongFile.h"

#include "tags/id3v2header.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QtEndian>

#include <id3/readers.h>
#include <id3/tag.h>

#include <commentsframe.h>
#include <id3v1tag.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <tbytevectorstream.h>
#include <textidentificationframe.h>
#include <unknownframe.h>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

// UTF-16 code units, most significant byte first. A single zero unit at the very end is a terminator;
// zero units anywhere else (or more than one) belong to the text.
QString bigEndianUnits(const uchar* bytes, int units)
{
    QString text(units, Qt::Uninitialized);
    QChar* out = text.data();
    int zeros = 0;
    for (int i = 0; i < units; ++i) {
        out[i] = QChar(ushort((bytes[qsizetype(2) * i] << 8) | bytes[qsizetype(2) * i + 1]));
        zeros += out[i].unicode() == 0;
    }
    if (zeros == 1 && units > 0 && text.at(units - 1).unicode() == 0)
        text.chop(1);
    return text;
}

// Text of a UTF-16BE or UTF-8 coded field, whose bytes id3lib keeps to itself.
QString decodeRawText(const QByteArray& bytes, int encoding)
{
    if (encoding == ID3TE_UTF8) {
        const int end = bytes.indexOf('\0');
        return QString::fromUtf8(bytes.constData(), end < 0 ? bytes.size() : end);
    }
    const uchar* data = reinterpret_cast<const uchar*>(bytes.constData());
    int size = bytes.size() & ~1;
    if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
        data += 2;
        size -= 2;
    } else if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        QByteArray swapped = bytes.mid(2, size - 2);
        char* units = swapped.data();
        for (int i = 0; i + 1 < swapped.size(); i += 2)
            std::swap(units[i], units[i + 1]);
        return bigEndianUnits(reinterpret_cast<const uchar*>(swapped.constData()), swapped.size() / 2);
    }
    return bigEndianUnits(data, size / 2);
}

// The text of a frame's plain fields (encoding byte first) by its encoding; of a comment, the text behind
// language and description.
QString fieldText(const char* id, QByteArray data)
{
    if (data.isEmpty())
        return QString();
    const int encoding = uchar(data.at(0));
    data.remove(0, 1);
    if (qstrcmp(id, "COMM") == 0) {
        // Language, then a description up to its terminator.
        data.remove(0, 3);
        const int unit = encoding == ID3TE_UTF8 ? 1 : 2;
        int end = 0;
        while (end + unit <= data.size() && !(data.at(end) == 0 && data.at(end + unit - 1) == 0))
            end += unit;
        data.remove(0, end + unit);
    }
    return decodeRawText(data, encoding);
}

QString fromTagLib(const TagLib::String& text)
{
    return QString::fromStdString(text.to8Bit(true));
}

// The data of a compressed ID3v2.3 frame, inflated: the 4-byte size it announces, a group byte when
// grouped, then zlib data. Null when it does not inflate to exactly that size, or to more than `limit`.
QByteArray inflatedFrame(const QByteArray& data, int frameFlags, qint64 limit)
{
    const int start = 4 + ((frameFlags & 0x20) ? 1 : 0);
    if (data.size() <= start)
        return QByteArray();
    const quint32 expected = qFromBigEndian<quint32>(data.constData());
    if (expected == 0 || expected > limit)
        return QByteArray();
    QByteArray inflated(int(expected), Qt::Uninitialized);
    uLongf inflatedSize = expected;
    const bool whole = uncompress(reinterpret_cast<Bytef*>(inflated.data()), &inflatedSize,
                                  reinterpret_cast<const Bytef*>(data.constData() + start),
                                  uLong(data.size() - start)) == Z_OK &&
                       inflatedSize == expected;
    return whole ? inflated : QByteArray();
}

// The frames a song record is made of, by their ID3v2.3 IDs and their ID3v2.2 forms; TDRC stands in
// for TYER in ID3v2.4.
bool isRecordFrame(const QByteArray& id)
{
    static const QSet<QByteArray> ids = {"TIT2", "TPE1", "TALB", "TCON", "TYER", "TDRC", "COMM", "TRCK",
                                         "TT2",  "TP1",  "TAL",  "TCO",  "TYE",  "COM",  "TRK"};
    return ids.contains(id);
}

qint64 synchsafeNumber(const uchar* p)
{
    return (qint64(p[0]) << 21) | (qint64(p[1]) << 14) | (qint64(p[2]) << 7) | p[3];
}

QByteArray synchsafeBytes(quint32 n)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((n >> (7 * (3 - i))) & 0x7F);
    return bytes;
}

// The first bytes and the last bytes of a file: its leading ID3v2 tags, its trailing ID3v1 tag and
// enough around them for the tag reader's own look at the audio.
//
// The leading tags are kept compact: the first frame of each ID the song record needs, in the tags'
// order, and nothing else. So a tag with a huge picture costs no more memory than one without, and the
// tag readers never see the frames nobody reads. The frames are found by walking the frame sizes the
// way id3lib does; a frame that does not fit into its tag ends the walk there. id3lib reads every
// ID3v2 tag that follows the one before it, so each of them is made compact. In `head` the compact
// tags stand where the file's tags were, followed by the file's bytes behind them, which thus appear
// `skipped` bytes earlier than in the file.
class FileEnds
{
public:
    static constexpr qint64 margin = 4096;
    // A record frame larger than this is left out, as if it were missing: no title is that long.
    static constexpr qint64 largestKeptFrame = qint64(1024) * 1024;
    // A tag unsynchronised as a whole hides its frame sizes until it has been restored in memory.
    static constexpr qint64 largestUnsynchronisedTag = qint64(16) * 1024 * 1024;
    // Tags up to this size are read whole rather than frame by frame.
    static constexpr qint64 largestWholeTag = qint64(64) * 1024;
    // Leading tags read one after the other; more make the file malformed.
    static constexpr int mostLeadingTags = 16;

    // False when the file cannot be read; damaged tags only make v2TagMalformed() true.
    bool read(const SongFile& song)
    {
        const qint64 fileSize = song.size();
        QByteArray header = song.bytes(0, 10);
        qint64 fileTagsEnd = 0;
        if (isTagHeader(header)) {
            version = uchar(header.at(3));
            for (int tags = 0; isTagHeader(header); ++tags) {
                const qint64 tagBytes = id3v2TagBytes(song, fileTagsEnd);
                malformed = tags == mostLeadingTags || tagBytes < 0 || tagBytes > fileSize - fileTagsEnd ||
                            !compactTag(song, fileTagsEnd, header, tagBytes);
                if (malformed)
                    return true;
                fileTagsEnd += tagBytes;
                header = song.bytes(fileTagsEnd, 10);
            }
            tagEnd = head.size();
            skipped = fileTagsEnd - tagEnd;
        } else {
            head = header;
        }
        size = fileSize - skipped;
        const qint64 headSize = qMin(size, tagEnd + margin);
        head += song.bytes(head.size() + skipped, headSize - head.size());
        const qint64 tailSize = qMin(size, margin);
        tail = headSize == size ? head.right(int(tailSize)) : song.bytes(fileSize - tailSize, tailSize);
        return head.size() == headSize && tail.size() == tailSize;
    }

    // The ID3v1 tag, or "".
    QByteArray v1Tag() const
    {
        const QByteArray tag = tail.right(128);
        return tag.size() == 128 && tag.startsWith("TAG") ? tag : QByteArray();
    }

    bool hasV2Tag() const { return head.startsWith("ID3") && head.size() >= 10; }
    // A tag whose size is not a synchsafe number or reaches past the end of the file, or whose frames
    // do not fit into it.
    bool v2TagMalformed() const { return malformed; }

    // The text of the first frame with the ID3v2.3 ID `id` (or its ID3v2.2 form) of the ID3v2.2 and v2.3
    // tags, for the text encodings id3lib does not hand out.
    QString text(const char* id) const
    {
        static const QHash<QByteArray, QByteArray> shortIds = {
            {"TIT2", "TT2"}, {"TPE1", "TP1"}, {"TALB", "TAL"}, {"TCON", "TCO"},
            {"TYER", "TYE"}, {"COMM", "COM"}, {"TRCK", "TRK"}};
        return fieldText(id, frames.value(QByteArray(id), frames.value(shortIds.value(id))));
    }

    // Bytes of the file as the tag readers see it: `size` bytes, with the compact tags in front.
    qint64 size = 0;
    QByteArray head;
    QByteArray tail;
    int version = 0; // of the first tag
    qint64 tagEnd = 0;
    qint64 skipped = 0;
    // The record's ID3v2.4 frames, whole (header included), by ID.
    QHash<QByteArray, QByteArray> v24Frames;

private:
    static bool isTagHeader(const QByteArray& header)
    {
        return header.size() == 10 && header.startsWith("ID3");
    }

    // Appends the compact form of the file's tag at `tagStart`, `tagBytes` long (footer included), to
    // `head`.
    bool compactTag(const SongFile& song, qint64 tagStart, const QByteArray& header, qint64 tagBytes)
    {
        const int tagVersion = uchar(header.at(3));
        const int flags = uchar(header.at(5));
        const qint64 bodySize = tagBytes - 10 - ((tagVersion >= 4 && (flags & 0x10)) ? 10 : 0);
        const bool unsynchronised = tagVersion < 4 && (flags & 0x80);
        QByteArray restored;
        if (unsynchronised) {
            if (bodySize > largestUnsynchronisedTag)
                return false;
            restored = song.bytes(tagStart + 10, bodySize);
            if (restored.size() != bodySize)
                return false;
            restored.replace(QByteArray("\xFF\x00", 2), QByteArray("\xFF"));
        }
        // A tag of ordinary size is read in one go (mostly from the file's head): walking its frames with a
        // read each would cost more than the rest of a song's reading. Only a large one (a picture) is
        // walked in the file.
        const bool readWhole = !unsynchronised && bodySize <= largestWholeTag;
        if (readWhole)
            restored = song.bytes(tagStart + 10, bodySize);
        const qint64 walkedSize = unsynchronised ? restored.size() : bodySize;
        // `count` bytes at `offset` of the tag's body.
        const auto bodyBytes = [&](qint64 offset, qint64 count) {
            if (unsynchronised || readWhole)
                return restored.mid(int(offset), int(count));
            return song.bytes(tagStart + 10 + offset, count);
        };

        qint64 position = 0;
        if (tagVersion >= 3 && (flags & 0x40)) {
            const QByteArray extended = bodyBytes(0, 4);
            if (extended.size() != 4)
                return false;
            const uchar* p = reinterpret_cast<const uchar*>(extended.constData());
            position = tagVersion == 3 ? 4 + qint64(qFromBigEndian<quint32>(p)) : synchsafeNumber(p);
        }
        if (position > walkedSize)
            return false;

        QByteArray kept;
        const int headerSize = tagVersion == 2 ? 6 : 10;
        // An ID3v2.2 tag marked compressed is to be ignored as a whole: no scheme was ever defined.
        const bool framesReadable = !(tagVersion == 2 && (flags & 0x40));
        while (framesReadable && position + headerSize <= walkedSize) {
            const QByteArray frameHeader = bodyBytes(position, headerSize);
            if (frameHeader.size() != headerSize)
                return false;
            if (frameHeader.at(0) == '\0')
                break; // padding
            const uchar* p = reinterpret_cast<const uchar*>(frameHeader.constData());
            const QByteArray id = frameHeader.left(tagVersion == 2 ? 3 : 4);
            qint64 frameSize =
                tagVersion == 2 ? (p[3] << 16) | (p[4] << 8) | p[5] : qint64(qFromBigEndian<quint32>(p + 4));
            if (tagVersion >= 4 && !((p[4] | p[5] | p[6] | p[7]) & 0x80))
                frameSize = v24FrameSize(p + 4, position + headerSize, walkedSize, bodyBytes);
            // A frame that runs past its tag (a cut-off write, junk in the padding) ends the walk: the frames
            // before it are whole and kept, as id3lib keeps them.
            if (frameSize > walkedSize - position - headerSize)
                break;
            if (isRecordFrame(id) && !seen.contains(id)) {
                seen.insert(id);
                if (frameSize <= largestKeptFrame) {
                    const QByteArray data = bodyBytes(position + headerSize, frameSize);
                    if (data.size() != frameSize)
                        return false;
                    keepFrame(tagVersion, id, frameHeader, data, kept);
                }
            }
            position += headerSize + frameSize;
        }

        // The compact tag has neither extended header nor footer, and its bytes are plain.
        int compactFlags = flags & ~0x50;
        if (tagVersion < 4)
            compactFlags &= ~0xC0;
        head += QByteArray("ID3", 3) + header.mid(3, 2) + char(compactFlags) +
                synchsafeBytes(quint32(kept.size())) + kept;
        return true;
    }

    // Some writers (iTunes among them) put plain numbers where ID3v2.4 wants synchsafe ones. A number with
    // a high bit set can only be plain; otherwise it is read as synchsafe unless no frame starts behind
    // it while one starts behind the plain number, as TagLib does.
    template <typename BodyBytes>
    static qint64 v24FrameSize(const uchar* size, qint64 dataStart, qint64 walkedSize,
                               const BodyBytes& bodyBytes)
    {
        const qint64 synchsafe = synchsafeNumber(size);
        if (synchsafe < 0x80 || dataStart + synchsafe == walkedSize ||
            isFrameId(bodyBytes(dataStart + synchsafe, 4)))
            return synchsafe;
        const qint64 plain = qint64(qFromBigEndian<quint32>(size));
        if (dataStart + plain == walkedSize || isFrameId(bodyBytes(dataStart + plain, 4)) ||
            bodyBytes(dataStart + plain, 1) == QByteArray(1, '\0'))
            return plain;
        return synchsafe;
    }

    static bool isFrameId(const QByteArray& id)
    {
        return id.size() == 4 && std::all_of(id.begin(), id.end(), [](char c) {
                   return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
               });
    }

    // Appends a record frame to the compact tag, and remembers the text of those that id3lib decodes only
    // in part. id3lib gets no compressed frame: on 64-bit systems it overwrites its own stack while it
    // inflates one (it hands zlib a pointer to a 32-bit size), and it allocates whatever size a frame
    // announces; so ours come inflated, with plain flags. An encrypted frame cannot be read and a damaged
    // compressed one is left out: both count as missing.
    void keepFrame(int tagVersion, const QByteArray& id, const QByteArray& frameHeader, QByteArray data,
                   QByteArray& kept)
    {
        QByteArray header = frameHeader;
        if (tagVersion >= 4) {
            // TagLib decodes every ID3v2.4 frame format (unsynchronised, compressed, with a data length); the
            // size is written synchsafe again, whatever the file's writer put there.
            header.replace(4, 4, synchsafeBytes(quint32(data.size())));
            v24Frames.insert(id, header + data);
            kept += header + data;
            return;
        }
        if (tagVersion == 3) {
            const int frameFlags = uchar(frameHeader.at(9));
            if (frameFlags & 0x40)
                return;
            if (frameFlags & 0x80)
                data = inflatedFrame(data, frameFlags, largestKeptFrame);
            else if (frameFlags & 0x20)
                data.remove(0, 1); // the group byte
            if (data.isEmpty())
                return;
            qToBigEndian<quint32>(quint32(data.size()), header.data() + 4);
            header[9] = char(frameFlags & ~0xE0);
        }
        frames.insert(id, data);
        kept += header + data;
    }

    bool malformed = false;
    QSet<QByteArray> seen;
    QHash<QByteArray, QByteArray> frames;
};

// id3lib's reader over the file with its compact tag: the cached ends answer nearly every read, so
// id3lib's many small seeks cost no system calls; a rare read elsewhere (a Lyrics3 block, junk before the
// audio) is served from a window loaded from the file, where it lies `skipped` bytes further on.
class CachedFileReader : public ID3_Reader
{
public:
    CachedFileReader(const SongFile& source, const FileEnds& ends)
        : song(source), end(pos_type(qMin<qint64>(ends.size, 0xFFFFFFF0))), head(ends.head), tail(ends.tail),
          tailOffset(ends.size - ends.tail.size()), skipped(ends.skipped)
    {}

    void close() override {}
    pos_type getBeg() override { return 0; }
    pos_type getEnd() override { return end; }
    pos_type getCur() override { return position; }
    pos_type setCur(pos_type pos) override
    {
        position = qMin(pos, end);
        return position;
    }

    int_type peekChar() override
    {
        qint64 available = 0;
        const char* p = position < end ? bytesAt(position, available) : nullptr;
        return p ? int_type(uchar(*p)) : END_OF_READER;
    }

    using ID3_Reader::readChars;
    size_type readChars(char_type buffer[], size_type length) override
    {
        size_type done = 0;
        while (done < length && position < end) {
            qint64 available = 0;
            const char* p = bytesAt(position, available);
            if (!p)
                break;
            const size_type count =
                size_type(std::min({available, qint64(length - done), qint64(end - position)}));
            std::memcpy(buffer + done, p, count);
            done += count;
            position += count;
        }
        return done;
    }

private:
    static constexpr qint64 windowSize = qint64(64) * 1024;

    const char* bytesAt(qint64 offset, qint64& available)
    {
        if (offset < head.size()) {
            available = head.size() - offset;
            return head.constData() + offset;
        }
        if (!tail.isEmpty() && offset >= tailOffset) {
            available = tail.size() - (offset - tailOffset);
            return available > 0 ? tail.constData() + (offset - tailOffset) : nullptr;
        }
        if (offset < windowOffset || offset >= windowOffset + window.size()) {
            windowOffset = offset - offset % windowSize;
            // The window never serves the bytes before the end of the head, which stand in for the tag.
            window = song.bytes(windowOffset + skipped, windowSize);
        }
        available = windowOffset + window.size() - offset;
        return available > 0 ? window.constData() + (offset - windowOffset) : nullptr;
    }

    const SongFile& song;
    const pos_type end;
    const QByteArray& head;
    const QByteArray& tail;
    const qint64 tailOffset;
    const qint64 skipped;
    QByteArray window;
    qint64 windowOffset = -1;
    pos_type position = 0;
};

// Text of the frame that id3lib finds first for `id`, decoded by its text encoding.
QString frameText(const ID3_Tag& tag, ID3_FrameID id, const char* frameName, const FileEnds& ends)
{
    const ID3_Frame* frame = tag.Find(id);
    const ID3_Field* field = frame ? frame->GetField(ID3FN_TEXT) : nullptr;
    if (!field)
        return QString();
    switch (field->GetEncoding()) {
    case ID3TE_ISO8859_1: {
        const char* text = field->GetRawText();
        return text ? QString::fromLatin1(text) : QString();
    }
    case ID3TE_UTF16: {
        const unicode_t* text = field->GetRawUnicodeText();
        const int units = int(field->Size() / 2);
        if (!text || units == 0)
            return QString();
        return bigEndianUnits(reinterpret_cast<const uchar*>(text), units);
    }
    case ID3TE_UTF16BE:
    case ID3TE_UTF8:
        return ends.text(frameName);
    default:
        return QString();
    }
}

bool readWithId3lib(const SongFile& song, const FileEnds& ends, FrameTexts& texts)
{
    CachedFileReader reader(song, ends);
    ID3_Tag tag;
    tag.Link(reader, static_cast<flags_t>(ID3TT_ALL));
    texts.title = frameText(tag, ID3FID_TITLE, "TIT2", ends);
    texts.artist = frameText(tag, ID3FID_LEADARTIST, "TPE1", ends);
    texts.album = frameText(tag, ID3FID_ALBUM, "TALB", ends);
    texts.genre = frameText(tag, ID3FID_CONTENTTYPE, "TCON", ends);
    texts.year = frameText(tag, ID3FID_YEAR, "TYER", ends);
    texts.comment = frameText(tag, ID3FID_COMMENT, "COMM", ends);
    texts.trackNumber = frameText(tag, ID3FID_TRACKNUM, "TRCK", ends);
    return true;
}

// The first value of an ID3v2.4 frame, decoded by TagLib from the frame's own bytes (ID3v2.4 lists several
// values where the older versions hold one). TagLib's frame factory is left out: it rewrites genres such as
// "(RX)" that the older versions' path keeps as they are.
QString v24Text(const FileEnds& ends, const char* id)
{
    const QByteArray frame = ends.v24Frames.value(QByteArray(id));
    if (frame.isEmpty())
        return QString();
    const TagLib::ByteVector bytes(frame.constData(), uint(frame.size()));
    // TagLib gives no text at all for UTF-8 with one invalid byte; the older versions' path gives the
    // rest of the text with a replacement character, and so does this one. TagLib still undoes the frame's
    // unsynchronisation and compression.
    const TagLib::ByteVector fields = TagLib::ID3v2::UnknownFrame(bytes).data();
    if (!fields.isEmpty() && uchar(fields.at(0)) == ID3TE_UTF8)
        return fieldText(id, QByteArray(fields.data(), int(fields.size())));
    if (qstrcmp(id, "COMM") == 0)
        return fromTagLib(TagLib::ID3v2::CommentsFrame(bytes).text());
    const TagLib::StringList values = TagLib::ID3v2::TextIdentificationFrame(bytes).fieldList();
    return values.isEmpty() ? QString() : fromTagLib(values.front());
}

// ID3v2.4 tags, which id3lib cannot parse, are read with TagLib. A field the tag lacks is taken from an
// ID3v1 tag at the end of the file, as id3lib does for the older versions.
bool readWithTagLib(const FileEnds& ends, FrameTexts& texts)
{
    texts.title = v24Text(ends, "TIT2");
    texts.artist = v24Text(ends, "TPE1");
    texts.album = v24Text(ends, "TALB");
    texts.genre = v24Text(ends, "TCON");
    texts.comment = v24Text(ends, "COMM");
    texts.trackNumber = v24Text(ends, "TRCK");
    texts.year = v24Text(ends, "TYER");
    static const QRegularExpression dateSeparator(QStringLiteral("[-T]"));
    if (texts.year.isEmpty())
        texts.year = v24Text(ends, "TDRC").section(dateSeparator, 0, 0);

    const QByteArray v1 = ends.v1Tag();
    if (v1.isEmpty())
        return true;
    TagLib::ByteVectorStream stream(TagLib::ByteVector(v1.constData(), uint(v1.size())));
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (TagLib::ID3v1::Tag* old = file.isValid() ? file.ID3v1Tag() : nullptr) {
        const auto fill = [](QString& text, const QString& fallback) {
            if (text.isEmpty())
                text = fallback;
        };
        fill(texts.title, fromTagLib(old->title()));
        fill(texts.artist, fromTagLib(old->artist()));
        fill(texts.album, fromTagLib(old->album()));
        fill(texts.comment, fromTagLib(old->comment()));
        fill(texts.year, old->year() ? QString::number(old->year()) : QString());
        fill(texts.trackNumber, old->track() ? QString::number(old->track()) : QString());
        fill(texts.genre,
             old->genreNumber() < 255 ? QStringLiteral("(%1)").arg(old->genreNumber()) : QString());
    }
    return true;
}

} // namespace

TagWalk readFrameTexts(const SongFile& song, FrameTexts& texts)
{
    FileEnds ends;
    if (!ends.read(song))
        return TagWalk::Unreadable;
    if (ends.v2TagMalformed())
        return TagWalk::Malformed;
    const bool read = ends.hasV2Tag() && ends.version == 4 ? readWithTagLib(ends, texts)
                                                           : readWithId3lib(song, ends, texts);
    return read ? TagWalk::Read : TagWalk::Malformed;
}
