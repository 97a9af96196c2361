// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/formatlength.h"

#include "tags/SongFile.h"
#include "tags/id3v2header.h"

#include <QByteArray>
#include <QList>
#include <QVector>
#include <QtEndian>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// A file whose header or box claims more than this is not walked further: no song needs it, and a hostile
// one would have us allocate what it claims.
constexpr qint64 mostStructureBytes = qint64(16) * 1024 * 1024;

quint32 bigEndian32(const QByteArray& bytes, qint64 at)
{
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

quint64 bigEndian64(const QByteArray& bytes, qint64 at)
{
    return qFromBigEndian<quint64>(bytes.constData() + at);
}

quint32 littleEndian32(const QByteArray& bytes, qint64 at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint8 byteAt(const QByteArray& bytes, qint64 at)
{
    return static_cast<quint8>(bytes.at(int(at)));
}

bool has(const QByteArray& bytes, qint64 at, const char* text)
{
    const auto length = qint64(std::strlen(text));
    return at >= 0 && at + length <= bytes.size() &&
           std::memcmp(bytes.constData() + at, text, size_t(length)) == 0;
}

// ---- FLAC ----

// The CRCs of FLAC's frames: CRC-8 (polynomial 0x07) over a frame's header, CRC-16 (0x8005) over the frame.
template <typename Crc, unsigned Polynomial> std::array<Crc, 256> msbFirstCrcTable()
{
    std::array<Crc, 256> table{};
    constexpr unsigned topBit = 1u << (8 * sizeof(Crc) - 1);
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte << (8 * sizeof(Crc) - 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & topBit) ? (crc << 1) ^ Polynomial : crc << 1;
        table[byte] = Crc(crc);
    }
    return table;
}

quint8 flacCrc8(const char* data, qint64 count)
{
    static const auto table = msbFirstCrcTable<quint8, 0x07>();
    quint8 crc = 0;
    for (qint64 i = 0; i < count; ++i)
        crc = table[crc ^ static_cast<quint8>(data[i])];
    return crc;
}

quint16 flacCrc16(const char* data, qint64 count)
{
    static const auto table = msbFirstCrcTable<quint16, 0x8005>();
    quint16 crc = 0;
    for (qint64 i = 0; i < count; ++i)
        crc = quint16((crc << 8) ^ table[(crc >> 8) ^ static_cast<quint8>(data[i])]);
    return crc;
}

struct FlacStreamInfo
{
    quint32 fixedBlockSize = 0;
    quint32 sampleRate = 0;
    quint64 totalSamples = 0;
    qint64 audioStart = 0;
};

// The STREAMINFO block and where the frames begin; false when the metadata is broken or cut short.
bool readFlacStreamInfo(const SongFile& song, FlacStreamInfo& info)
{
    qint64 offset = 0;
    if (!has(song.head(), 0, "fLaC"))
        offset = qMax<qint64>(0, id3v2TagBytes(song, 0));
    if (!has(song.bytes(offset, 4), 0, "fLaC"))
        return false;
    offset += 4;
    for (bool first = true;; first = false) {
        const QByteArray header = song.bytes(offset, 4);
        if (header.size() < 4)
            return false;
        const bool last = (byteAt(header, 0) & 0x80) != 0;
        const int type = byteAt(header, 0) & 0x7F;
        const qint64 length = bigEndian32(header, 0) & 0xFFFFFF;
        if (first) {
            const QByteArray block = song.bytes(offset + 4, 34);
            if (type != 0 || length < 34 || block.size() < 34)
                return false;
            info.fixedBlockSize = qFromBigEndian<quint16>(block.constData());
            info.sampleRate = (quint32(byteAt(block, 10)) << 12) | (quint32(byteAt(block, 11)) << 4) |
                              (quint32(byteAt(block, 12)) >> 4);
            info.totalSamples = (quint64(byteAt(block, 13) & 0x0F) << 32) | bigEndian32(block, 14);
        }
        offset += 4 + length;
        if (offset > song.size())
            return false;
        if (last)
            break;
    }
    info.audioStart = offset;
    return info.sampleRate > 0;
}

// One frame header: its first sample and its length in samples, checked by its CRC-8.
struct FlacFrame
{
    quint64 firstSample = 0;
    quint32 samples = 0;
};

bool parseFlacFrameHeader(const QByteArray& bytes, qint64 at, const FlacStreamInfo& info, FlacFrame& frame)
{
    const qint64 available = bytes.size() - at;
    if (available < 6 || byteAt(bytes, at) != 0xFF || (byteAt(bytes, at + 1) & 0xFE) != 0xF8)
        return false;
    const bool variable = (byteAt(bytes, at + 1) & 1) != 0;
    const int sizeCode = byteAt(bytes, at + 2) >> 4;
    const int rateCode = byteAt(bytes, at + 2) & 0x0F;
    if (sizeCode == 0 || rateCode == 15 || (byteAt(bytes, at + 3) >> 4) >= 11 || (byteAt(bytes, at + 3) & 1))
        return false;
    qint64 pos = at + 4;
    // The frame or sample number, coded like UTF-8 up to 36 bits.
    const quint8 lead = byteAt(bytes, pos++);
    int more = 0;
    quint64 number = lead;
    if (lead >= 0x80) {
        while (more < 7 && (lead & (0x40 >> more)))
            ++more;
        if (more == 0 || more > 6)
            return false;
        number = lead & (0x3Fu >> more);
    }
    if (pos + more > bytes.size())
        return false;
    for (int i = 0; i < more; ++i) {
        const quint8 next = byteAt(bytes, pos++);
        if ((next & 0xC0) != 0x80)
            return false;
        number = (number << 6) | (next & 0x3F);
    }
    quint32 samples = 0;
    if (sizeCode == 1)
        samples = 192;
    else if (sizeCode <= 5)
        samples = 576u << (sizeCode - 2);
    else if (sizeCode >= 8)
        samples = 256u << (sizeCode - 8);
    const int sizeBytes = sizeCode == 6 ? 1 : sizeCode == 7 ? 2 : 0;
    const int rateBytes = rateCode == 12 ? 1 : (rateCode == 13 || rateCode == 14) ? 2 : 0;
    if (pos + sizeBytes + rateBytes + 1 > bytes.size())
        return false;
    if (sizeBytes == 1)
        samples = quint32(byteAt(bytes, pos)) + 1;
    else if (sizeBytes == 2)
        samples = quint32(qFromBigEndian<quint16>(bytes.constData() + pos)) + 1;
    pos += sizeBytes + rateBytes;
    if (flacCrc8(bytes.constData() + at, pos - at) != byteAt(bytes, pos))
        return false;
    frame.samples = samples;
    frame.firstSample = variable ? number : number * info.fixedBlockSize;
    return true;
}

// The sample after the last whole frame among the last `searched` bytes: a frame is whole when its CRC-16
// holds up to where a later frame (or the file) begins. Header bytes met by chance inside a frame are
// candidates too, so each frame is tried against the nearest few candidates behind it. Zero when no frame is
// whole there.
quint64 flacSamplesInTail(const SongFile& song, const FlacStreamInfo& info, qint64 searched)
{
    const qint64 start = qMax(info.audioStart, song.size() - searched);
    const QByteArray bytes = song.bytes(start, song.size() - start);
    QVector<qint64> ends{bytes.size()};
    for (qint64 at = bytes.size() - 6; at >= 0; --at) {
        FlacFrame frame;
        if (byteAt(bytes, at) != 0xFF || !parseFlacFrameHeader(bytes, at, info, frame))
            continue;
        for (const qint64 end : ends) {
            if (end - at >= 8 && flacCrc16(bytes.constData() + at, end - at - 2) ==
                                     qFromBigEndian<quint16>(bytes.constData() + end - 2))
                return frame.firstSample + frame.samples;
        }
        ends.prepend(at);
        if (ends.size() > 8)
            ends.removeLast();
    }
    return 0;
}

// The same from the file's end: first in the tail already read, which holds the last frames of most
// streams, then over a stretch that holds those of any common one, then over the largest frame FLAC allows
// (65535 samples of eight 32-bit channels, uncompressed).
quint64 flacSamplesFromTail(const SongFile& song, const FlacStreamInfo& info)
{
    for (const qint64 searched : {SongFile::tailBytes, qint64(64) * 1024, qint64(2) * 1024 * 1024 + 64}) {
        if (const quint64 samples = flacSamplesInTail(song, info, searched))
            return samples;
        if (song.size() - info.audioStart <= searched)
            break;
    }
    return 0;
}

double flacSeconds(const SongFile& song)
{
    FlacStreamInfo info;
    if (!readFlacStreamInfo(song, info))
        return -1;
    const quint64 walked = flacSamplesFromTail(song, info);
    // The stored total holds unless the frames end before it (a file cut short); an encoder that could not
    // seek back to write it leaves it 0.
    quint64 samples = info.totalSamples;
    if (samples == 0 || (walked > 0 && walked < samples))
        samples = walked;
    return samples == 0 ? 0.0 : double(samples) / info.sampleRate;
}

// ---- Ogg ----

quint32 oggCrc(const char* data, qint64 count)
{
    static const auto table = msbFirstCrcTable<quint32, 0x04C11DB7>();
    quint32 crc = 0;
    for (qint64 i = 0; i < count; ++i)
        crc = (crc << 8) ^ table[(crc >> 24) ^ static_cast<quint8>(data[i])];
    return crc;
}

struct OggPage
{
    qint64 granule = -1;
    quint32 serial = 0;
    qint64 bytes = 0; // header and body
    qint64 headerBytes = 0;
};

// The page header at `at` of `bytes`; with `checkCrc`, the whole page must lie in `bytes` and its CRC hold.
bool parseOggPage(const QByteArray& bytes, qint64 at, bool checkCrc, OggPage& page)
{
    if (!has(bytes, at, "OggS") || at + 27 > bytes.size() || byteAt(bytes, at + 4) != 0)
        return false;
    const int segments = byteAt(bytes, at + 26);
    page.headerBytes = 27 + segments;
    if (at + page.headerBytes > bytes.size())
        return false;
    qint64 body = 0;
    for (int i = 0; i < segments; ++i)
        body += byteAt(bytes, at + 27 + i);
    page.bytes = page.headerBytes + body;
    page.granule = qint64(qFromLittleEndian<quint64>(bytes.constData() + at + 6));
    page.serial = littleEndian32(bytes, at + 14);
    if (!checkCrc)
        return true;
    if (at + page.bytes > bytes.size())
        return false;
    QByteArray copy = bytes.mid(int(at), int(page.bytes));
    std::memset(copy.data() + 22, 0, 4);
    return oggCrc(copy.constData(), copy.size()) == littleEndian32(bytes, at + 22);
}

// The last granule position of the stream `serial` that lies below `most`, walking every page from the
// start: for a file whose last page claims more than it could hold.
qint64 oggGranuleByWalking(const SongFile& song, quint32 serial, qint64 most)
{
    qint64 granule = -1;
    for (qint64 offset = 0; offset < song.size();) {
        const QByteArray header = song.bytes(offset, 27 + 255);
        OggPage page;
        if (!parseOggPage(header, 0, false, page) || offset + page.bytes > song.size())
            break;
        if (page.serial == serial && page.granule >= qMax<qint64>(granule, 0) && page.granule <= most)
            granule = page.granule;
        offset += page.bytes;
    }
    return granule;
}

double oggSeconds(const SongFile& song, SongFormat format)
{
    const QByteArray& head = song.head();
    OggPage first;
    if (!parseOggPage(head, 0, false, first) || first.headerBytes + 19 > head.size())
        return -1;
    const qint64 packet = first.headerBytes;
    double rate = 48000;
    qint64 skipped = 0;
    if (format == SongFormat::Opus) {
        skipped = qFromLittleEndian<quint16>(head.constData() + packet + 10);
    } else {
        rate = littleEndian32(head, packet + 12);
        if (rate <= 0)
            return -1;
    }
    // No codec codes a second in fewer than 16 bytes: a granule beyond that is not believed.
    const qint64 most = qint64(rate * double(qMax<qint64>(song.size(), 1)) / 16.0);
    constexpr qint64 largestPage = 27 + 255 + 255 * 255;
    const qint64 start = qMax<qint64>(0, song.size() - largestPage);
    const QByteArray tail = song.bytes(start, song.size() - start);
    qint64 granule = -1;
    for (qint64 at = tail.size() - 27; at >= 0; --at) {
        OggPage page;
        if (tail.at(int(at)) == 'O' && parseOggPage(tail, at, true, page) && page.serial == first.serial &&
            page.granule >= 0) {
            granule = page.granule;
            break;
        }
    }
    if (granule < 0 || granule > most)
        granule = oggGranuleByWalking(song, first.serial, most);
    if (granule < 0)
        return -1;
    return double(qMax<qint64>(0, granule - skipped)) / rate;
}

// ---- MP4 ----

struct Box
{
    quint32 type = 0;
    qint64 content = 0; // first byte after the header
    qint64 end = 0;
};

constexpr quint32 fourCc(const char (&name)[5])
{
    return (quint32(quint8(name[0])) << 24) | (quint32(quint8(name[1])) << 16) |
           (quint32(quint8(name[2])) << 8) | quint32(quint8(name[3]));
}

// The box at `at` of `bytes` (which end at `limit`); false when its size cannot be.
bool parseBox(const QByteArray& bytes, qint64 at, qint64 limit, Box& box)
{
    if (at + 8 > limit)
        return false;
    quint64 size = bigEndian32(bytes, at);
    box.type = bigEndian32(bytes, at + 4);
    box.content = at + 8;
    if (size == 1) {
        if (at + 16 > limit)
            return false;
        size = bigEndian64(bytes, at + 8);
        box.content = at + 16;
    } else if (size == 0) {
        size = quint64(limit - at);
    }
    if (size < quint64(box.content - at) || size > quint64(limit - at))
        return false;
    box.end = at + qint64(size);
    return true;
}

// The children of `parent` of the given type; boxes that cannot be end the walk.
QVector<Box> children(const QByteArray& bytes, const Box& parent, quint32 type, qint64 skip = 0)
{
    QVector<Box> found;
    Box box;
    for (qint64 at = parent.content + skip; parseBox(bytes, at, parent.end, box); at = box.end) {
        if (box.type == type)
            found << box;
    }
    return found;
}

bool child(const QByteArray& bytes, const Box& parent, quint32 type, Box& found, qint64 skip = 0)
{
    const QVector<Box> all = children(bytes, parent, type, skip);
    if (all.isEmpty())
        return false;
    found = all.first();
    return true;
}

// Follows a path of single children, e.g. {mdia, minf, stbl}.
bool descend(const QByteArray& bytes, Box box, std::initializer_list<quint32> path, Box& found)
{
    for (const quint32 type : path) {
        if (!child(bytes, box, type, box))
            return false;
    }
    found = box;
    return true;
}

// The box at `at` of the file, not beyond `limit`, its offsets in the file.
bool boxOnDisk(const SongFile& song, qint64 at, qint64 limit, Box& box)
{
    const QByteArray header = song.bytes(at, 16);
    if (limit > song.size() || !parseBox(header, 0, qMin<qint64>(limit - at, song.size() - at), box))
        return false;
    box.content += at;
    box.end += at;
    return true;
}

// The first child of `parent` of the given type, walked on disk; boxes that cannot be end the walk.
bool childOnDisk(const SongFile& song, const Box& parent, quint32 type, Box& found, qint64 skip = 0)
{
    Box box;
    int boxes = 0;
    for (qint64 at = parent.content + skip; boxes < 4096 && boxOnDisk(song, at, parent.end, box);
         at = box.end) {
        ++boxes;
        if (box.type == type) {
            found = box;
            return true;
        }
    }
    return false;
}

// The moov box of the file with what the length needs (the tracks' tables, never the sound) read into
// memory, and its user data box (the tags, with a cover of any size) left on disk.
bool readMoov(const SongFile& song, QByteArray& moov, Box& userData)
{
    const Box file{0, 0, song.size()};
    Box onDisk;
    if (!childOnDisk(song, file, fourCc("moov"), onDisk))
        return false;
    QByteArray kept;
    Box box;
    for (qint64 at = onDisk.content; boxOnDisk(song, at, onDisk.end, box); at = box.end) {
        if (box.type == fourCc("udta")) {
            userData = box;
            continue;
        }
        if (kept.size() + box.end - at > mostStructureBytes)
            return false;
        const QByteArray bytes = song.bytes(at, box.end - at);
        if (bytes.size() != box.end - at)
            return false;
        kept += bytes;
    }
    moov = QByteArray(8, Qt::Uninitialized) + kept;
    qToBigEndian(quint32(moov.size()), moov.data());
    std::memcpy(moov.data() + 4, "moov", 4);
    return true;
}

// A full box's version (its first content byte).
int versionOf(const QByteArray& bytes, const Box& box)
{
    return box.end > box.content ? byteAt(bytes, box.content) : -1;
}

struct Mp4Track
{
    quint32 handler = 0;
    quint32 codec = 0; // the type of the first sample description: mp4a (AAC), alac
    quint32 timescale = 0;
    quint64 mediaSamples = 0; // in the timescale, of the samples whose bytes lie in the file
    qint64 editStart = -1;    // media time of the first edit, -1 without an edit list
    quint64 editDuration = 0; // in the movie's timescale
};

// The samples whose bytes the file holds, as a number from the first on.
quint64 samplesInFile(const QByteArray& moov, const Box& stbl, qint64 fileSize)
{
    Box stsz;
    Box stsc;
    Box stco;
    if (!child(moov, stbl, fourCc("stsz"), stsz) || stsz.end - stsz.content < 12 ||
        !child(moov, stbl, fourCc("stsc"), stsc) || stsc.end - stsc.content < 8)
        return std::numeric_limits<quint64>::max();
    const bool wide = !child(moov, stbl, fourCc("stco"), stco);
    if (wide && !child(moov, stbl, fourCc("co64"), stco))
        return std::numeric_limits<quint64>::max();
    const quint32 fixedSize = bigEndian32(moov, stsz.content + 4);
    const quint64 sampleCount = qMin<quint64>(bigEndian32(moov, stsz.content + 8),
                                              fixedSize ? std::numeric_limits<quint32>::max()
                                                        : quint64(stsz.end - stsz.content - 12) / 4);
    const qint64 entrySize = wide ? 8 : 4;
    const quint64 chunks =
        qMin<quint64>(bigEndian32(moov, stco.content + 4),
                      quint64(qMax<qint64>(0, stco.end - stco.content - 8)) / quint64(entrySize));
    const quint64 runs =
        qMin<quint64>(bigEndian32(moov, stsc.content + 4), quint64(stsc.end - stsc.content - 8) / 12);
    quint64 sample = 0;
    quint64 chunk = 1;
    for (quint64 run = 0; run < runs; ++run) {
        const qint64 entry = stsc.content + 8 + qint64(run) * 12;
        const quint64 firstChunk = bigEndian32(moov, entry);
        const quint64 perChunk = bigEndian32(moov, entry + 4);
        const quint64 endChunk = run + 1 < runs ? bigEndian32(moov, entry + 12) : chunks + 1;
        // Each chunk is counted once, however the runs of a damaged table overlap.
        for (chunk = qMax(chunk, firstChunk); chunk < endChunk && chunk <= chunks && sample < sampleCount;
             ++chunk) {
            const qint64 at = stco.content + 8 + qint64(chunk - 1) * entrySize;
            quint64 offset = wide ? bigEndian64(moov, at) : bigEndian32(moov, at);
            const quint64 inChunk = qMin(perChunk, sampleCount - sample);
            if (fixedSize) {
                const quint64 fit = offset > quint64(fileSize) ? 0 : (quint64(fileSize) - offset) / fixedSize;
                if (fit < inChunk)
                    return sample + fit;
                sample += inChunk;
                continue;
            }
            for (quint64 i = 0; i < inChunk; ++i, ++sample) {
                offset += bigEndian32(moov, stsz.content + 12 + qint64(sample) * 4);
                if (offset > quint64(fileSize))
                    return sample;
            }
        }
    }
    return sample;
}

bool readMp4Track(const QByteArray& moov, const Box& trak, qint64 fileSize, Mp4Track& track)
{
    Box mdia;
    Box hdlr;
    Box mdhd;
    Box stbl;
    Box stts;
    if (!child(moov, trak, fourCc("mdia"), mdia) || !child(moov, mdia, fourCc("hdlr"), hdlr) ||
        hdlr.end - hdlr.content < 12)
        return false;
    track.handler = bigEndian32(moov, hdlr.content + 8);
    if (!child(moov, mdia, fourCc("mdhd"), mdhd) ||
        !descend(moov, mdia, {fourCc("minf"), fourCc("stbl")}, stbl) ||
        !child(moov, stbl, fourCc("stts"), stts) || stts.end - stts.content < 8)
        return true;
    Box stsd;
    if (child(moov, stbl, fourCc("stsd"), stsd) && stsd.end - stsd.content >= 16)
        track.codec = bigEndian32(moov, stsd.content + 12);
    const bool wideHeader = versionOf(moov, mdhd) == 1;
    if (mdhd.end - mdhd.content < (wideHeader ? 24 : 16))
        return true;
    track.timescale = bigEndian32(moov, mdhd.content + (wideHeader ? 20 : 12));
    const quint64 whole = samplesInFile(moov, stbl, fileSize);
    const quint64 entries =
        qMin<quint64>(bigEndian32(moov, stts.content + 4), quint64(stts.end - stts.content - 8) / 8);
    quint64 counted = 0;
    for (quint64 i = 0; i < entries && counted < whole; ++i) {
        const qint64 entry = stts.content + 8 + qint64(i) * 8;
        const quint64 count = qMin<quint64>(bigEndian32(moov, entry), whole - counted);
        track.mediaSamples += count * bigEndian32(moov, entry + 4);
        counted += count;
    }
    Box elst;
    if (descend(moov, trak, {fourCc("edts"), fourCc("elst")}, elst) && elst.end - elst.content >= 8) {
        const bool wide = versionOf(moov, elst) == 1;
        const qint64 entrySize = wide ? 20 : 12;
        const quint64 edits = qMin<quint64>(bigEndian32(moov, elst.content + 4),
                                            quint64(elst.end - elst.content - 8) / quint64(entrySize));
        for (quint64 i = 0; i < edits; ++i) {
            const qint64 entry = elst.content + 8 + qint64(i) * entrySize;
            const qint64 mediaTime =
                wide ? qint64(bigEndian64(moov, entry + 8)) : qint32(bigEndian32(moov, entry + 4));
            if (mediaTime < 0)
                continue; // an empty edit: a pause before the sound, which players skip for audio
            track.editStart = mediaTime;
            track.editDuration = wide ? bigEndian64(moov, entry) : bigEndian32(moov, entry);
            break;
        }
    }
    return true;
}

// iTunes' gapless note among the free-form items of the list: encoder delay, padding and the original length
// in samples.
bool itunesGapless(const SongFile& song, const Box& ilst, quint64& delay, quint64& samples)
{
    Box item;
    int items = 0;
    for (qint64 at = ilst.content; items++ < 4096 && boxOnDisk(song, at, ilst.end, item); at = item.end) {
        if (item.type != fourCc("----") || item.end - at > 4096)
            continue;
        const QByteArray bytes = song.bytes(at, item.end - at);
        Box inMemory;
        Box name;
        Box data;
        if (!parseBox(bytes, 0, bytes.size(), inMemory) || !child(bytes, inMemory, fourCc("name"), name) ||
            bytes.mid(int(name.content + 4), int(name.end - name.content - 4)) != "iTunSMPB" ||
            !child(bytes, inMemory, fourCc("data"), data) || data.end - data.content <= 8)
            continue;
        const QList<QByteArray> fields =
            bytes.mid(int(data.content + 8), int(data.end - data.content - 8)).simplified().split(' ');
        bool delayRead = false;
        bool samplesRead = false;
        if (fields.size() >= 4) {
            delay = fields.at(1).toULongLong(&delayRead, 16);
            samples = fields.at(3).toULongLong(&samplesRead, 16);
        }
        return delayRead && samplesRead;
    }
    return false;
}

// udta/meta/ilst; meta is a full box in MP4 and a plain one in QuickTime files.
bool itemList(const SongFile& song, const Box& userData, Box& ilst)
{
    Box meta;
    if (!childOnDisk(song, userData, fourCc("meta"), meta))
        return false;
    return childOnDisk(song, meta, fourCc("ilst"), ilst, 4) ||
           childOnDisk(song, meta, fourCc("ilst"), ilst, 0);
}

struct Mp4Read
{
    Mp4Layout layout;
    double seconds = -1;
};

Mp4Read readMp4(const SongFile& song)
{
    Mp4Read read;
    QByteArray moov;
    Box userData;
    if (!readMoov(song, moov, userData))
        return read;
    Box moovBox;
    if (!parseBox(moov, 0, moov.size(), moovBox))
        return read;
    Box ilst;
    if (userData.end > 0 && itemList(song, userData, ilst)) {
        read.layout.itemsOffset = ilst.content;
        read.layout.itemsBytes = ilst.end - ilst.content;
    }
    Mp4Track sound;
    int soundTracks = 0;
    for (const Box& trak : children(moov, moovBox, fourCc("trak"))) {
        Mp4Track track;
        if (!readMp4Track(moov, trak, song.size(), track))
            continue;
        if (track.handler == fourCc("vide"))
            return read;
        if (track.handler == fourCc("soun") && soundTracks++ == 0)
            sound = track;
    }
    // The sound of a song here is AAC or Apple Lossless; anything else in an MP4 is not played.
    if (soundTracks == 0 || sound.timescale == 0 ||
        (sound.codec != fourCc("mp4a") && sound.codec != fourCc("alac")))
        return read;
    read.layout.playable = true;
    quint64 samples = sound.mediaSamples;
    quint64 delay = 0;
    quint64 stored = 0;
    if (sound.editStart >= 0) {
        delay = quint64(sound.editStart);
        Box mvhd;
        if (child(moov, moovBox, fourCc("mvhd"), mvhd) && sound.editDuration > 0) {
            const bool wide = versionOf(moov, mvhd) == 1;
            const quint32 movieScale = mvhd.end - mvhd.content >= (wide ? 24 : 16)
                                           ? bigEndian32(moov, mvhd.content + (wide ? 20 : 12))
                                           : 0;
            if (movieScale > 0)
                stored = quint64(std::llround(double(sound.editDuration) * sound.timescale / movieScale));
        }
    } else if (read.layout.itemsOffset >= 0) {
        itunesGapless(song, ilst, delay, stored);
    }
    samples = samples > delay ? samples - delay : 0;
    // The stored length leaves out the padding; the sample table counts only what the file holds.
    if (stored > 0)
        samples = qMin(samples, stored);
    read.seconds = double(samples) / sound.timescale;
    return read;
}

// ---- WAV ----

double wavSeconds(const SongFile& song)
{
    quint32 rate = 0;
    quint32 blockAlign = 0;
    qint64 dataBytes = -1;
    int chunks = 0;
    for (qint64 at = 12; at + 8 <= song.size() && chunks < 4096; ++chunks) {
        const QByteArray header = song.bytes(at, 24);
        if (header.size() < 8)
            break;
        const qint64 size = littleEndian32(header, 4);
        if (has(header, 0, "fmt ") && size >= 16 && header.size() >= 24) {
            // PCM, floating point or the extensible form of either: a block is one sample of each channel,
            // which is what the length is counted in. Compressed WAVs are no songs here.
            const quint16 codec = qFromLittleEndian<quint16>(header.constData() + 8);
            if (codec != 1 && codec != 3 && codec != 0xFFFE)
                return -1;
            rate = littleEndian32(header, 12);
            blockAlign = qFromLittleEndian<quint16>(header.constData() + 20);
        } else if (has(header, 0, "data")) {
            // A writer that never came back to fill in the size, or a file cut short: what the file holds.
            dataBytes = qMin(size, song.size() - at - 8);
            if (rate > 0)
                break;
        }
        at += 8 + size + (size & 1);
    }
    if (rate == 0 || blockAlign == 0 || dataBytes < 0)
        return -1;
    // Whole blocks only: a decoder plays no part of a block.
    const qint64 frames = dataBytes / blockAlign;
    return double(frames) / rate;
}

} // namespace

double formatLengthSeconds(const SongFile& song, SongFormat format)
{
    if (!song.isOpen())
        return -1;
    switch (format) {
    case SongFormat::Flac:
        return flacSeconds(song);
    case SongFormat::Vorbis:
    case SongFormat::Opus:
        return oggSeconds(song, format);
    case SongFormat::Mp4:
        return readMp4(song).seconds;
    case SongFormat::Wav:
        return wavSeconds(song);
    case SongFormat::Mp3:
        break;
    }
    return -1;
}

Mp4Layout mp4Layout(const SongFile& song)
{
    return song.isOpen() ? readMp4(song).layout : Mp4Layout();
}
