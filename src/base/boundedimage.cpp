// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/boundedimage.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>

namespace {

const char* formatOf(ImageType type)
{
    switch (type) {
    case ImageType::Jpeg:
        return "jpeg";
    case ImageType::Png:
        return "png";
    case ImageType::Webp:
        return "webp";
    case ImageType::Gif:
        return "gif";
    case ImageType::Bmp:
        return "bmp";
    case ImageType::Unknown:
        break;
    }
    return nullptr;
}

int bigEndian16(const uchar* at)
{
    return (at[0] << 8) | at[1];
}

qint64 area(const QSize& size)
{
    return static_cast<qint64>(size.width()) * size.height();
}

// What a JPEG's markers tell: its scans and, where the decoder has to keep every coefficient of the
// whole picture until the last scan (a progressive or otherwise multi-scan JPEG), their bytes.
struct JpegLayout
{
    int scans = 0;
    bool progressive = false;
    qint64 coefficientBytes = 0;
};

qint64 coefficientBytes(const uchar* frame, int length)
{
    // Frame header: precision, height, width, components, then per component id, sampling, table.
    if (length < 6)
        return 0;
    const qint64 height = bigEndian16(frame + 1);
    const qint64 width = bigEndian16(frame + 3);
    const int components = frame[5];
    if (length < 6 + 3 * components)
        return 0;
    int hMax = 1;
    int vMax = 1;
    for (int c = 0; c < components; ++c) {
        hMax = std::max(hMax, frame[6 + 3 * c + 1] >> 4);
        vMax = std::max(vMax, frame[6 + 3 * c + 1] & 0x0F);
    }
    qint64 bytes = 0;
    for (int c = 0; c < components; ++c) {
        const int h = std::max(1, frame[6 + 3 * c + 1] >> 4);
        const int v = std::max(1, frame[6 + 3 * c + 1] & 0x0F);
        const qint64 columns = (width * h / hMax + 7) / 8;
        const qint64 rows = (height * v / vMax + 7) / 8;
        bytes += columns * rows * 64 * 2; // 64 coefficients of two bytes per block
    }
    return bytes;
}

JpegLayout jpegLayout(const QByteArray& bytes)
{
    JpegLayout layout;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const int size = bytes.size();
    int at = 2;
    while (at + 1 < size && data[at] == 0xFF) {
        const uchar marker = data[at + 1];
        at += marker == 0xFF ? 1 : 2; // fill bytes before a marker
        if (marker == 0xFF || marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        if (marker == 0xD9 || at + 2 > size)
            break;
        const int length = bigEndian16(data + at);
        if (length < 2 || at + length > size)
            break;
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            layout.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            layout.coefficientBytes = coefficientBytes(data + at + 2, length - 2);
        }
        at += length;
        if (marker != 0xDA)
            continue;
        ++layout.scans;
        // The scan's data runs to the next marker that is neither a stuffed byte nor a restart.
        while (at + 1 < size &&
               !(data[at] == 0xFF && data[at + 1] != 0 && (data[at + 1] < 0xD0 || data[at + 1] > 0xD7)))
            ++at;
    }
    return layout;
}

BoundedImage refused(BoundedImage::Refusal why)
{
    BoundedImage decoded;
    decoded.refusal = why;
    return decoded;
}

} // namespace

ImageType sniffImageType(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return ImageType::Jpeg;
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return ImageType::Png;
    if (bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return ImageType::Webp;
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return ImageType::Gif;
    if (bytes.startsWith("BM") && bytes.size() >= 26)
        return ImageType::Bmp;
    return ImageType::Unknown;
}

DecodeCost decodeCost(const QByteArray& bytes, ImageType type, const QSize& size, const QSize& target)
{
    DecodeCost cost;
    // A decoder works on four bytes a pixel, a 16-bit PNG on eight.
    cost.bytes = area(size) * 4;
    if (type == ImageType::Png && bytes.size() > 24 && static_cast<uchar>(bytes.at(24)) == 16)
        cost.bytes = area(size) * 8;
    if (type == ImageType::Jpeg) {
        const JpegLayout layout = jpegLayout(bytes);
        cost.scans = layout.scans;
        // Decoded at a reduced scale of at most twice the target's sides, but the coefficients of a
        // multi-scan JPEG are kept at full size.
        cost.bytes = std::min(area(size), 4 * area(target)) * 4;
        if (layout.progressive || layout.scans > 1)
            cost.bytes += layout.coefficientBytes;
    }
    return cost;
}

BoundedImage decodeBounded(const QByteArray& bytes, const QSize& maxSize, const DecodeLimits& limits)
{
    using Refusal = BoundedImage::Refusal;
    const ImageType type = sniffImageType(bytes);
    const char* format = formatOf(type);
    if (!format || !QImageReader::supportedImageFormats().contains(format))
        return refused(Refusal::UnknownType);

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // The reader is told the type we found, so no other decoder ever sees these bytes.
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    const QSize claimed = reader.size();
    if (!claimed.isValid() || claimed.isEmpty())
        return refused(Refusal::Unreadable);
    if (area(claimed) > limits.pixels)
        return refused(Refusal::TooManyPixels);
    // A picture larger than what is kept is decoded already scaled where the decoder can (JPEG), which
    // spares most of the memory a full decode would take.
    QSize target = claimed;
    if (maxSize.isValid() && (claimed.width() > maxSize.width() || claimed.height() > maxSize.height()))
        target = claimed.scaled(maxSize, Qt::KeepAspectRatio);
    target = target.expandedTo(QSize(1, 1));
    // Bytes, not pixels, decide: a small file may claim a picture that takes far more memory to decode,
    // or make the decoder pass over it many times.
    const DecodeCost cost = decodeCost(bytes, type, claimed, target);
    if (cost.scans > limits.jpegScans)
        return refused(Refusal::Unreadable);
    if (cost.bytes > limits.memoryBytes)
        return refused(Refusal::TooMuchMemory);
    reader.setScaledSize(target);
    BoundedImage decoded;
    decoded.image = reader.read();
    if (decoded.image.isNull())
        return refused(Refusal::Unreadable);
    // An orientation tag may have turned it: fit the turned picture once more.
    if (maxSize.isValid() &&
        (decoded.image.width() > maxSize.width() || decoded.image.height() > maxSize.height()))
        decoded.image = decoded.image.scaled(maxSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return decoded;
}
