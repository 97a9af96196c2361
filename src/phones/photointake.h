// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

// A photo from a guest's phone, made safe to keep: the type is told by its bytes (never by a name or a
// header the phone sent), its size is read from its header before anything is decoded, and what is kept
// is our own JPEG of at most the webcam's size, with nothing of the phone's file in it (no EXIF, no
// location, no comments).
namespace phones {

enum class PhotoType { Unknown, Jpeg, Png, Webp, Gif, Bmp };

// The type the bytes begin with.
PhotoType sniffPhotoType(const QByteArray& bytes);

struct PhotoIntake
{
    QByteArray jpeg; // empty when refused
    QString refusal; // why, in the guest's words
    QSize size;      // of the JPEG
};

// Re-encodes `bytes` as JPEG fitting into `maxSize` (aspect kept, never enlarged), turned upright as the
// phone's orientation tag says. Refuses more than 15 MB, unknown types, more than 40 megapixels claimed,
// and photos that do not decode.
PhotoIntake takeInPhoto(const QByteArray& bytes, const QSize& maxSize);

} // namespace phones
