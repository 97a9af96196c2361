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

struct PhotoIntake
{
    QByteArray jpeg; // empty when refused
    // Why, untranslated (context "PhotoIntake"): the desk says it in the guest's own language, with
    // `refusalNumber` for its %1 where it has one.
    const char* refusal = nullptr;
    qint64 refusalNumber = 0;
    QSize size; // of the JPEG
};

// Memory a decoder may take for one photo, and the scans a progressive JPEG may have (an encoder writes
// about ten; every scan is one more pass over the whole picture).
constexpr qint64 maxDecodeBytes = 64LL * 1024 * 1024;
constexpr int maxJpegScans = 40;

// Re-encodes `bytes` as JPEG fitting into `maxSize` (aspect kept, never enlarged), turned upright as the
// phone's orientation tag says. Refuses more than 15 MB, unknown types, more than 40 megapixels claimed,
// what would take more than maxDecodeBytes to decode or has more than maxJpegScans scans, and photos that
// do not decode.
PhotoIntake takeInPhoto(const QByteArray& bytes, const QSize& maxSize);

} // namespace phones
