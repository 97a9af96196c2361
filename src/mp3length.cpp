#include "mp3length.h"

#include "id3v2header.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstring>

namespace {

// One MPEG audio frame header, decoded.
struct FrameHeader
{
    int version = 0; // 1: MPEG-1, 2: MPEG-2, 3: MPEG-2.5
    int layer = 0;
    int sampleRate = 0;
    int frameBytes = 0;
    int samples = 0;
    bool mono = false;
};

// Bit rates in kbit/s by [MPEG-1 or not][layer - 1][index]; index 0 (free format) and 15 are invalid.
constexpr int bitRates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};

constexpr int sampleRates[3] = {44100, 48000, 32000};

quint32 bigEndian32(const uchar* p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

// Free-format frames (bit rate index 0) are not accepted: their size is not in the header.
bool parseHeader(const uchar* p, FrameHeader& header)
{
    const quint32 word = bigEndian32(p);
    if ((word & 0xFFE00000u) != 0xFFE00000u)
        return false;
    const int versionBits = (word >> 19) & 3;
    const int layerBits = (word >> 17) & 3;
    const int bitRateIndex = (word >> 12) & 15;
    const int rateIndex = (word >> 10) & 3;
    if (versionBits == 1 || layerBits == 0 || bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3 ||
        (word & 3) == 2)
        return false;
    header.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 3;
    header.layer = 4 - layerBits;
    header.sampleRate = sampleRates[rateIndex] >> (header.version - 1);
    header.mono = ((word >> 6) & 3) == 3;
    const int padding = (word >> 9) & 1;
    const int bitRate = bitRates[header.version == 1 ? 0 : 1][header.layer - 1][bitRateIndex] * 1000;
    if (header.layer == 1) {
        header.samples = 384;
        header.frameBytes = (12 * bitRate / header.sampleRate + padding) * 4;
    } else if (header.layer == 3 && header.version != 1) {
        header.samples = 576;
        header.frameBytes = 72 * bitRate / header.sampleRate + padding;
    } else {
        header.samples = 1152;
        header.frameBytes = 144 * bitRate / header.sampleRate + padding;
    }
    return true;
}

bool sameStream(const FrameHeader& a, const FrameHeader& b)
{
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

// The bytes of the file between its leading ID3v2 tags and its trailing ID3v1 tag, either all in memory
// or read from the file a window at a time as a walk moves through them: the walk over every frame of a
// long file then works in a buffer that stays in the processor's cache instead of in a copy of the file.
class AudioBytes
{
public:
    // Every byte a frame and the header behind it can span: the largest frame (MPEG-2.5 layer II,
    // 160 kbit/s, 8 kHz, padded) and four bytes.
    static constexpr qint64 lookahead = 2881 + 4;

    AudioBytes(const uchar* data, qint64 byteCount)
        : end(byteCount), window(data), windowEnd(byteCount), size(byteCount)
    {}
    AudioBytes(QFile& source, qint64 byteCount)
        : end(byteCount), file(&source), buffer(bufferSize, Qt::Uninitialized), size(byteCount)
    {}

    qint64 begin = 0;
    mutable qint64 end;

    bool has(qint64 offset, qint64 count) const
    {
        return offset >= begin && count >= 0 && offset <= end - count;
    }

    // False when not even the first byte behind `begin` can be read.
    bool readable() const
    {
        at(begin);
        return end > begin;
    }

    // The byte at `offset` and the ones behind it, up to `lookahead` bytes or the end of the file.
    const uchar* at(qint64 offset) const
    {
        if (file && (offset < windowStart || (offset + lookahead > windowEnd && windowEnd < size)))
            load(offset);
        return window + (offset - windowStart);
    }

    // A frame counts when its header is valid and it either ends exactly where the audio ends or is
    // followed by the header of a frame of the same stream, which rules out stray sync patterns.
    bool frameAt(qint64 offset, FrameHeader& header, const FrameHeader* stream = nullptr) const
    {
        if (!has(offset, 4) || !parseHeader(at(offset), header))
            return false;
        if (stream && !sameStream(header, *stream))
            return false;
        const qint64 next = offset + header.frameBytes;
        if (next == end)
            return true;
        FrameHeader following;
        return has(next, 4) && parseHeader(at(next), following) && sameStream(header, following);
    }

    // The bytes the file holds from where this view's offset 0 lies.
    qint64 fileSize() const { return size; }

    qint64 findFrame(qint64 from, FrameHeader& header, const FrameHeader* stream = nullptr) const
    {
        for (qint64 offset = from; has(offset, 4); ++offset) {
            if (*at(offset) == 0xFF && frameAt(offset, header, stream))
                return offset;
        }
        return -1;
    }

private:
    static constexpr int bufferSize = 128 * 1024;

    // Moves the window to begin at `offset`, keeping what it holds from there on. A read that fails
    // ends the audio where the bytes end.
    void load(qint64 offset) const
    {
        qint64 kept = 0;
        if (offset >= windowStart && offset < windowEnd) {
            kept = windowEnd - offset;
            std::memmove(buffer.data(), buffer.constData() + (offset - windowStart), size_t(kept));
        } else if (!file->seek(offset)) {
            kept = -1;
        }
        const qint64 read = kept < 0 ? -1 : file->read(buffer.data() + kept, bufferSize - kept);
        windowStart = offset;
        windowEnd = offset + qMax<qint64>(0, kept) + qMax<qint64>(0, read);
        window = reinterpret_cast<const uchar*>(buffer.constData());
        if (windowEnd < qMin(size, offset + lookahead))
            end = qMin(end, windowEnd);
    }

    mutable const uchar* window = nullptr;
    mutable qint64 windowStart = 0;
    mutable qint64 windowEnd = 0;
    QFile* const file = nullptr;
    mutable QByteArray buffer;
    const qint64 size;
};

void skipTags(AudioBytes& audio)
{
    qint64 tag = 0;
    while (audio.has(audio.begin, 10) && (tag = id3v2TagBytes(audio.at(audio.begin))) > 0)
        audio.begin = qMin(audio.end, audio.begin + tag);
    if (audio.has(audio.end - 128, 128) && std::memcmp(audio.at(audio.end - 128), "TAG", 3) == 0)
        audio.end -= 128;
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
qint64 headerSamples(const AudioBytes& audio, qint64 offset, const FrameHeader& frame, qint64 fileSize)
{
    const InfoHeader info = infoHeader(audio, offset, frame);
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
    // the word is no valid header of that stream.
    int of(quint32 word, quint32 stream) const
    {
        if ((word & 0xFFE00000u) != 0xFFE00000u || (word & streamBits) != stream || (word & 3) == 2)
            return 0;
        return sizes[(word >> 9) & (tableSize - 1)];
    }

private:
    static constexpr quint32 tableSize = 1u << 12;
    int sizes[tableSize] = {};
};

// The frames of `first`'s stream from `offset` on, counted by the rule of AudioBytes::frameAt; past
// damage the walk goes on at the next frame that rule accepts. `streamWord` is the first frame's header.
qint64 countFrames(const AudioBytes& audio, qint64 offset, const FrameHeader& first, quint32 streamWord)
{
    static const FrameSizes sizes;
    const quint32 stream = streamWord & streamBits;
    const auto frameBytesAt = [&](qint64 at) {
        return audio.has(at, 4) ? sizes.of(bigEndian32(audio.at(at)), stream) : 0;
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

double lengthOf(AudioBytes& audio)
{
    skipTags(audio);
    FrameHeader first;
    qint64 offset = audio.findFrame(audio.begin, first);
    if (offset < 0)
        return -1; // no MPEG audio at all
    const qint64 fromHeader = headerSamples(audio, offset, first, audio.fileSize());
    if (fromHeader >= 0)
        return double(fromHeader) / first.sampleRate;
    // Without a header every frame is counted; the info frame itself carries no audio.
    const quint32 streamWord = bigEndian32(audio.at(offset));
    if (isInfoFrame(audio, offset, first))
        offset += first.frameBytes;
    return double(countFrames(audio, offset, first, streamWord) * first.samples) / first.sampleRate;
}

// Where the audio begins: behind the leading ID3v2 tags, which may be large (a picture) and are never
// read here.
qint64 audioStart(QFile& file)
{
    qint64 begin = 0;
    uchar header[10];
    qint64 tag = 0;
    while (file.seek(begin) && file.read(reinterpret_cast<char*>(header), 10) == 10 &&
           (tag = id3v2TagBytes(header)) > 0)
        begin += tag;
    return begin;
}

// Most files carry an Info/Xing header in their first frame, right behind the leading tags: reading a
// few kilobytes there answers without touching the rest of the file. -1 when the whole file is needed.
double lengthFromFirstFrame(QFile& file, qint64 begin, qint64 size)
{
    // The largest frame (MPEG-2.5 layer II, 160 kbit/s, 8 kHz, padded) plus the next header: a frame found
    // this far before the window's end was judged on the same bytes as in the whole file.
    constexpr qint64 windowSize = 16 * 1024;
    constexpr qint64 largestFrame = 2881 + 4;
    if (begin + windowSize >= size || !file.seek(begin))
        return -1;
    const QByteArray window = file.read(windowSize);
    if (window.size() != windowSize)
        return -1;
    const AudioBytes audio(reinterpret_cast<const uchar*>(window.constData()), window.size());
    FrameHeader first;
    const qint64 offset = audio.findFrame(0, first);
    if (offset < 0 || offset + largestFrame > windowSize)
        return -1;
    const qint64 samples = headerSamples(audio, offset, first, size - begin);
    return samples < 0 ? -1 : double(samples) / first.sampleRate;
}

} // namespace

double mp3LengthSeconds(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return -1;
    return mp3LengthSeconds(file);
}

double mp3LengthSeconds(QFile& file)
{
    const qint64 size = file.size();
    if (size <= 0)
        return -1;
    const qint64 begin = audioStart(file);
    if (begin >= size)
        return -1;
    const double fromHeader = lengthFromFirstFrame(file, begin, size);
    if (fromHeader >= 0)
        return fromHeader;
    // Without such a header the walk goes over every frame, reading the file a window at a time (which
    // beats mapping it, and copying it whole).
    AudioBytes audio(file, size);
    audio.begin = begin;
    if (!audio.readable())
        return -1;
    return lengthOf(audio);
}
