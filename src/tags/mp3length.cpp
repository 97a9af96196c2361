// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/mp3length.h"

#include "tags/SongFile.h"
#include "tags/id3v2header.h"

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstring>

namespace {

// One MPEG audio frame header, decoded.
struct FrameHeader
{
    int version = 0; // 1: MPEG-1, 2: MPEG-2, 3: MPEG-2.5
    int layer = 0;
    int sampleRate = 0;
    int bitRateIndex = 0; // 0: free format
    int frameBytes = 0;
    int samples = 0;
    bool mono = false;
    // A free-format stream's frame size without padding, found from the distance between two frames.
    int freeBytes = 0;
};

// Bit rates in kbit/s by [MPEG-1 or not][layer - 1][index]; index 0 is free format, 15 is invalid.
constexpr int bitRates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};

constexpr int sampleRates[3] = {44100, 48000, 32000};

// The largest frame: free format may go up to 640 kbit/s, which at 8 kHz makes 5,760 bytes (MPEG-2.5
// layer III); with the next header, every byte one frame can need.
constexpr int largestFrameBytes = 5760 + 4;
// The smallest free-format frame looked for: a header and the side information.
constexpr int smallestFreeFrameBytes = 4 + 17;

quint32 bigEndian32(const uchar* p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

// Bytes a frame's size is counted in (layer I counts four-byte slots), and the slots a kbit/s of bit
// rate adds to a frame at a sample rate of 1 kHz.
int slotBytes(const FrameHeader& header)
{
    return header.layer == 1 ? 4 : 1;
}

int slotsPerKbit(const FrameHeader& header)
{
    return header.layer == 1 ? 12 : (header.layer == 3 && header.version != 1) ? 72 : 144;
}

// Decodes the header at `p`. A free-format header gets its size from `freeBytes` (the stream's, when
// known), else frameBytes stays 0 for the caller to find.
bool parseHeader(const uchar* p, FrameHeader& header, int freeBytes = 0)
{
    const quint32 word = bigEndian32(p);
    if ((word & 0xFFE00000u) != 0xFFE00000u)
        return false;
    const int versionBits = (word >> 19) & 3;
    const int layerBits = (word >> 17) & 3;
    const int bitRateIndex = (word >> 12) & 15;
    const int rateIndex = (word >> 10) & 3;
    if (versionBits == 1 || layerBits == 0 || bitRateIndex == 15 || rateIndex == 3 || (word & 3) == 2)
        return false;
    header.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 3;
    header.layer = 4 - layerBits;
    header.sampleRate = sampleRates[rateIndex] >> (header.version - 1);
    header.bitRateIndex = bitRateIndex;
    header.mono = ((word >> 6) & 3) == 3;
    header.samples = header.layer == 1 ? 384 : (header.layer == 3 && header.version != 1) ? 576 : 1152;
    const int padding = int((word >> 9) & 1) * slotBytes(header);
    const int bitRate = bitRates[header.version == 1 ? 0 : 1][header.layer - 1][bitRateIndex] * 1000;
    header.freeBytes = bitRateIndex == 0 ? freeBytes : 0;
    if (bitRateIndex == 0)
        header.frameBytes = freeBytes > 0 ? freeBytes + padding : 0;
    else
        header.frameBytes = slotsPerKbit(header) * bitRate / header.sampleRate * slotBytes(header) + padding;
    return true;
}

bool sameStream(const FrameHeader& a, const FrameHeader& b)
{
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate &&
           (a.bitRateIndex == 0) == (b.bitRateIndex == 0);
}

// The audio of a song file between its tags, read a window at a time as a walk moves through it: from the
// file's head or tail where they hold the bytes, otherwise with one read of a large window (a buffer of the
// thread's own, kept for its next file), so the walk over every frame of a long file costs few system
// calls and works in a buffer that stays in the processor's cache.
class AudioBytes
{
public:
    static constexpr qint64 lookahead = largestFrameBytes;

    AudioBytes(const SongFile& source, qint64 audioBegin, qint64 audioEnd)
        : begin(audioBegin), end(audioEnd), song(source)
    {}

    const qint64 begin;
    mutable qint64 end;

    bool has(qint64 offset, qint64 count) const
    {
        return offset >= begin && count >= 0 && offset <= end - count;
    }

    // The byte at `offset` and the ones behind it, up to `lookahead` bytes or the end of the audio.
    const uchar* at(qint64 offset) const
    {
        if (offset < windowStart || (offset + lookahead > windowEnd && windowEnd < end))
            load(offset);
        return window + (offset - windowStart);
    }

    // A frame counts when its header is valid and it either ends exactly where the audio ends or is
    // followed by the header of a frame of the same stream, which rules out stray sync patterns. A
    // free-format frame's size is the distance to that next header.
    bool frameAt(qint64 offset, FrameHeader& header, const FrameHeader* stream = nullptr) const
    {
        if (!has(offset, 4) || !parseHeader(at(offset), header, stream ? stream->freeBytes : 0))
            return false;
        if (stream && !sameStream(header, *stream))
            return false;
        if (header.frameBytes == 0)
            return freeFrameAt(offset, header);
        const qint64 next = offset + header.frameBytes;
        if (next == end)
            return true;
        FrameHeader following;
        return has(next, 4) && parseHeader(at(next), following, header.freeBytes) &&
               sameStream(header, following);
    }

    qint64 findFrame(qint64 from, FrameHeader& header, const FrameHeader* stream = nullptr) const
    {
        for (qint64 offset = from; has(offset, 4); ++offset) {
            if (*at(offset) == 0xFF && frameAt(offset, header, stream))
                return offset;
        }
        return -1;
    }

private:
    static constexpr qint64 firstRead = qint64(16) * 1024;
    static constexpr qint64 walkRead = qint64(1024) * 1024;

    bool freeFrameAt(qint64 offset, FrameHeader& header) const
    {
        const uchar* const bytes = at(offset);
        const quint32 streamWord = bigEndian32(bytes) & 0xFFFEF000u; // sync, version, layer, bit rate
        const int padding = int((bigEndian32(bytes) >> 9) & 1) * slotBytes(header);
        for (qint64 next = offset + smallestFreeFrameBytes; next < offset + largestFrameBytes - 4; ++next) {
            if (!has(next, 4))
                return false;
            const uchar* p = bytes + (next - offset);
            FrameHeader following;
            if (p[0] == 0xFF && (bigEndian32(p) & 0xFFFEF000u) == streamWord && parseHeader(p, following) &&
                sameStream(header, following)) {
                header.frameBytes = int(next - offset);
                header.freeBytes = header.frameBytes - padding;
                return header.freeBytes > 0;
            }
        }
        return false;
    }

    // Moves the window to begin at `offset`, keeping what it holds from there on. A read that fails
    // ends the audio where the bytes end.
    void load(qint64 offset) const
    {
        const QByteArray& head = song.head();
        if (offset + qMin(lookahead, end - offset) <= head.size()) {
            serve(head, 0);
            return;
        }
        if (offset >= song.tailOffset()) {
            serve(song.tail(), song.tailOffset());
            return;
        }
        thread_local QByteArray buffer;
        const qint64 wanted = qMin(end - offset, reads++ == 0 ? firstRead : walkRead);
        if (buffer.size() < walkRead)
            buffer.resize(int(walkRead));
        qint64 kept = 0;
        if (window == reinterpret_cast<const uchar*>(buffer.constData()) && offset >= windowStart &&
            offset < windowEnd) {
            kept = qMin(windowEnd - offset, wanted);
            std::memmove(buffer.data(), buffer.constData() + (offset - windowStart), size_t(kept));
        }
        const qint64 read = song.read(offset + kept, buffer.data() + kept, qMax<qint64>(0, wanted - kept));
        windowStart = offset;
        windowEnd = offset + kept + qMax<qint64>(0, read);
        window = reinterpret_cast<const uchar*>(buffer.constData());
        if (windowEnd < qMin(end, offset + lookahead))
            end = windowEnd;
    }

    void serve(const QByteArray& bytes, qint64 start) const
    {
        window = reinterpret_cast<const uchar*>(bytes.constData());
        windowStart = start;
        windowEnd = start + bytes.size();
    }

    const SongFile& song;
    mutable const uchar* window = nullptr;
    mutable qint64 windowStart = 0;
    mutable qint64 windowEnd = 0;
    mutable int reads = 0;
};

// Where the audio lies: behind the leading ID3v2 tags, before a trailing APE tag and ID3v1 tag.
void findAudio(const SongFile& song, qint64& begin, qint64& end)
{
    begin = 0;
    end = song.size();
    qint64 tag = 0;
    while ((tag = id3v2TagBytes(song, begin)) > 0)
        begin += tag;
    const QByteArray& tail = song.tail();
    if (tail.size() >= 128 && end - 128 >= begin && tail.right(128).startsWith("TAG"))
        end -= 128;
    // An APE tag's footer counts the tag without its header; a flag tells whether a header precedes it.
    const qint64 footer = end - 32 - song.tailOffset();
    if (footer >= 0 && tail.mid(int(footer), 8) == "APETAGEX") {
        const uchar* p = reinterpret_cast<const uchar*>(tail.constData()) + footer;
        const qint64 size =
            qint64(p[12]) | (qint64(p[13]) << 8) | (qint64(p[14]) << 16) | (qint64(p[15]) << 24);
        const qint64 whole = size + ((p[23] & 0x80) ? 32 : 0);
        if (size >= 32 && whole <= end - begin)
            end -= whole;
    }
}

// The size of the stream's smallest possible frame (the lowest bit rate, unpadded).
qint64 smallestFrameBytes(const FrameHeader& frame)
{
    const int bitRate = bitRates[frame.version == 1 ? 0 : 1][frame.layer - 1][1] * 1000;
    const qint64 factor = frame.layer == 1 ? 12 : (frame.layer == 3 && frame.version != 1) ? 72 : 144;
    return factor * bitRate / frame.sampleRate * (frame.layer == 1 ? 4 : 1);
}

// What a Xing/Info or VBRI header in a stream's first frame claims.
struct InfoHeader
{
    bool present = false;
    qint64 frames = 0;  // 0 when the header gives no frame count
    qint64 bytes = -1;  // the stream's bytes from the header frame on, -1 when not given
    qint64 trimmed = 0; // the encoder's delay and padding, which a gapless decoder drops
};

InfoHeader infoHeader(const AudioBytes& audio, qint64 offset, const FrameHeader& frame)
{
    InfoHeader info;
    const int sideInfo = frame.version == 1 ? (frame.mono ? 17 : 32) : (frame.mono ? 9 : 17);
    const qint64 xing = offset + 4 + sideInfo;
    const qint64 frameEnd = offset + frame.frameBytes;
    // The whole frame lies behind this one pointer (AudioBytes::lookahead).
    const uchar* const bytes = audio.at(offset);
    const uchar* p = bytes + (xing - offset);
    if (frame.layer == 3 && xing + 8 <= frameEnd && audio.has(xing, 8) &&
        (std::memcmp(p, "Xing", 4) == 0 || std::memcmp(p, "Info", 4) == 0)) {
        info.present = true;
        const quint32 flags = bigEndian32(p + 4);
        qint64 field = xing + 8;
        if ((flags & 1) && field + 4 <= frameEnd) {
            info.frames = bigEndian32(bytes + (field - offset));
            field += 4;
        }
        if ((flags & 2) && field + 4 <= frameEnd && audio.has(field, 4)) {
            info.bytes = bigEndian32(bytes + (field - offset));
            field += 4;
        }
        qint64 lame = field + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
        // The LAME extension: 9 bytes of encoder name, then delay and padding at byte 21, 12 bits each.
        if (lame + 24 <= frameEnd && audio.has(lame, 24)) {
            const uchar* const encoder = bytes + (lame - offset);
            const uchar* d = encoder + 21;
            const int delay = (d[0] << 4) | (d[1] >> 4);
            const int padding = ((d[1] & 0x0F) << 8) | d[2];
            if (std::memcmp(encoder, "LAME", 4) == 0 || std::memcmp(encoder, "Lavc", 4) == 0 ||
                std::memcmp(encoder, "Lavf", 4) == 0 || std::memcmp(encoder, "GOGO", 4) == 0)
                info.trimmed = delay + padding;
        }
        return info;
    }
    const qint64 vbri = offset + 36;
    if (vbri + 18 <= frameEnd && audio.has(vbri, 18) &&
        std::memcmp(bytes + (vbri - offset), "VBRI", 4) == 0) {
        info.present = true;
        info.bytes = bigEndian32(bytes + (vbri - offset) + 10);
        info.frames = bigEndian32(bytes + (vbri - offset) + 14);
    }
    return info;
}

// Samples in the stream by its Xing/Info or VBRI header, or -1 when the frames must be counted: there is
// no header, it gives no frame count, or the file cannot hold what it claims (a download cut short keeps
// the header of the whole song). A few frames of slack allow for writers that count a little more.
qint64 headerSamples(const InfoHeader& info, qint64 offset, const FrameHeader& frame, qint64 fileSize)
{
    if (!info.present || info.frames <= 0)
        return -1;
    // Without a byte count, the frames claimed take at least as many of the stream's smallest frames.
    const qint64 smallest = info.frames * smallestFrameBytes(frame);
    const qint64 claimed = qMax(info.bytes, smallest);
    const qint64 slack = 4 * qint64(frame.frameBytes);
    if (offset + claimed > fileSize + slack)
        return -1;
    return qMax<qint64>(0, info.frames * frame.samples - info.trimmed);
}

bool isInfoFrame(const AudioBytes& audio, qint64 offset, const FrameHeader& frame)
{
    const int sideInfo = frame.version == 1 ? (frame.mono ? 17 : 32) : (frame.mono ? 9 : 17);
    const qint64 xing = offset + 4 + sideInfo;
    const uchar* const bytes = audio.at(offset);
    if (xing + 4 <= offset + frame.frameBytes && audio.has(xing, 4) &&
        (std::memcmp(bytes + (xing - offset), "Xing", 4) == 0 ||
         std::memcmp(bytes + (xing - offset), "Info", 4) == 0))
        return true;
    const qint64 vbri = offset + 36;
    return vbri + 4 <= offset + frame.frameBytes && audio.has(vbri, 4) &&
           std::memcmp(bytes + (vbri - offset), "VBRI", 4) == 0;
}

// Header bits that one stream's frames share: version, layer and sample rate.
constexpr quint32 streamBits = 0x001E0C00u;

// The size of the frame behind a header by the header's bits 9 to 20 (version, layer, protection, bit
// rate, sample rate, padding), so the walk over every frame of a long file decodes no header twice.
class FrameSizes
{
public:
    FrameSizes()
    {
        FrameHeader header;
        for (quint32 bits = 0; bits < tableSize; ++bits) {
            const quint32 word = 0xFFE00000u | (bits << 9);
            const uchar bytes[4] = {uchar(word >> 24), uchar(word >> 16), uchar(word >> 8), uchar(word)};
            sizes[bits] = parseHeader(bytes, header) ? header.frameBytes : 0;
        }
    }

    // The frame size for a header word of the stream `stream` (a word masked by streamBits), or 0 when
    // the word is no valid header of that stream. Free-format words take the stream's `freeBytes`.
    int of(quint32 word, quint32 stream, int freeBytes) const
    {
        if ((word & 0xFFE00000u) != 0xFFE00000u || (word & streamBits) != stream || (word & 3) == 2)
            return 0;
        const bool free = (word & 0xF000u) == 0;
        if (free != (freeBytes > 0))
            return 0;
        if (free)
            return ((word >> 17) & 3) == 3 ? freeBytes + int((word >> 9) & 1) * 4
                                           : freeBytes + int((word >> 9) & 1);
        return sizes[(word >> 9) & (tableSize - 1)];
    }

private:
    static constexpr quint32 tableSize = 1u << 12;
    int sizes[tableSize] = {};
};

const FrameSizes& frameSizes()
{
    static const FrameSizes sizes;
    return sizes;
}

// The frames of `first`'s stream from `offset` on, counted by the rule of AudioBytes::frameAt; past
// damage the walk goes on at the next frame that rule accepts. `streamWord` is the first frame's header.
qint64 countFrames(const AudioBytes& audio, qint64 offset, const FrameHeader& first, quint32 streamWord)
{
    const FrameSizes& sizes = frameSizes();
    const quint32 stream = streamWord & streamBits;
    const auto frameBytesAt = [&](qint64 at) {
        return audio.has(at, 4) ? sizes.of(bigEndian32(audio.at(at)), stream, first.freeBytes) : 0;
    };
    qint64 frames = 0;
    int bytes = frameBytesAt(offset);
    for (;;) {
        if (bytes == 0) {
            FrameHeader frame;
            offset = audio.findFrame(offset + 1, frame, &first);
            if (offset < 0)
                return frames;
            bytes = frame.frameBytes;
        }
        const qint64 next = offset + bytes;
        if (next == audio.end)
            return frames + 1;
        const int following = frameBytesAt(next);
        if (following > 0) {
            ++frames;
            offset = next;
        }
        bytes = following;
    }
}

// The frames of a constant-bit-rate stream without a header, from a few frames spread over the file
// instead of all of them: frame k starts within a byte of k times the average frame size (the encoder pads
// frames to keep that average), so a frame of that bit rate must start there, and the last one must end
// where the audio ends. -1 when any of them is not where the size predicts (another bit rate, damage,
// junk): then only the walk over every frame is exact.
qint64 constantBitRateFrames(const SongFile& song, qint64 offset, qint64 end, const FrameHeader& first,
                             quint32 streamWord)
{
    if (first.bitRateIndex == 0)
        return -1;
    const double averageBytes = double(slotsPerKbit(first)) *
                                bitRates[first.version == 1 ? 0 : 1][first.layer - 1][first.bitRateIndex] *
                                1000 / first.sampleRate * slotBytes(first);
    const qint64 frames = std::llround(double(end - offset) / averageBytes);
    constexpr qint64 fewestFrames = 64;
    if (frames < fewestFrames)
        return -1;
    const quint32 expected = streamWord & (streamBits | 0xFFE0F000u); // stream and bit rate
    const FrameSizes& sizes = frameSizes();
    for (const qint64 index : {frames / 4, frames / 2, frames * 3 / 4, frames - 1}) {
        const qint64 predicted = offset + std::llround(double(index) * averageBytes);
        const qint64 reach = qint64(2) * slotBytes(first);
        const QByteArray bytes = song.bytes(predicted - reach, 2 * reach + first.frameBytes + 8);
        const uchar* p = reinterpret_cast<const uchar*>(bytes.constData());
        bool found = false;
        for (qint64 at = 0; at + 4 <= bytes.size() && at <= 2 * reach && !found; ++at) {
            const quint32 word = bigEndian32(p + at);
            if ((word & (streamBits | 0xFFE0F000u)) != expected)
                continue;
            const int size = sizes.of(word, streamWord & streamBits, 0);
            const qint64 start = predicted - reach + at;
            if (size == 0)
                continue;
            if (index == frames - 1)
                found = start + size == end;
            else
                found = at + size + 4 <= bytes.size() &&
                        (bigEndian32(p + at + size) & (streamBits | 0xFFE0F000u)) == expected;
        }
        if (!found)
            return -1;
    }
    return frames;
}

double lengthOf(const SongFile& song, qint64 begin, qint64 end)
{
    const AudioBytes audio(song, begin, end);
    FrameHeader first;
    qint64 offset = audio.findFrame(begin, first);
    if (offset < 0)
        return -1; // no MPEG audio at all
    const InfoHeader info = infoHeader(audio, offset, first);
    const qint64 fromHeader = headerSamples(info, offset, first, song.size());
    if (fromHeader >= 0)
        return double(fromHeader) / first.sampleRate;
    const quint32 streamWord = bigEndian32(audio.at(offset));
    // The info frame itself carries no audio.
    if (info.present || isInfoFrame(audio, offset, first))
        offset += first.frameBytes;
    else if (const qint64 frames = constantBitRateFrames(song, offset, audio.end, first, streamWord);
             frames >= 0)
        return double(frames * first.samples) / first.sampleRate;
    return double(countFrames(audio, offset, first, streamWord) * first.samples) / first.sampleRate;
}

} // namespace

double mp3LengthSeconds(const QString& path)
{
    const SongFile song(path);
    return mp3LengthSeconds(song);
}

double mp3LengthSeconds(const SongFile& song)
{
    if (!song.isOpen())
        return -1;
    qint64 begin = 0;
    qint64 end = 0;
    findAudio(song, begin, end);
    return begin < end ? lengthOf(song, begin, end) : -1;
}
