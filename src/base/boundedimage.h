// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// A picture from a file nobody checked (a guest's photo, a song's cover) decoded without letting it take
// more than it may: its type is told by its bytes, its size is read from its header before anything is
// decoded, and the decoder gets a picture no larger than the one wanted.

enum class ImageType { Unknown, Jpeg, Png, Webp, Gif, Bmp };

// The type the bytes begin with.
ImageType sniffImageType(const QByteArray& bytes);

// What a picture's header tells of the cost of decoding it, read without decoding.
struct DecodeCost
{
    qint64 bytes = 0; // memory the decoder needs at least, for a picture decoded to `target`
    int scans = 0;    // a JPEG's scans
};

// The cost of decoding `bytes` of `type`, of `size` as its header claims, into a picture of `target`.
DecodeCost decodeCost(const QByteArray& bytes, ImageType type, const QSize& size, const QSize& target);

struct DecodeLimits
{
    qint64 pixels = 0;      // claimed by the header
    qint64 memoryBytes = 0; // the decoder's, by decodeCost()
    int jpegScans = 0;      // every scan is one more pass over the whole picture
};

struct BoundedImage
{
    enum class Refusal { None, UnknownType, Unreadable, TooManyPixels, TooMuchMemory };
    QImage image; // null when refused
    Refusal refusal = Refusal::None;
};

// Decodes `bytes` into a picture fitting into `maxSize` (aspect kept, never enlarged; an invalid size
// keeps the picture's own), turned upright as its orientation tag says, within `limits`.
BoundedImage decodeBounded(const QByteArray& bytes, const QSize& maxSize, const DecodeLimits& limits);
