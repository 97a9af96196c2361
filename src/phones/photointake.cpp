// SPDX-License-Identifier: GPL-3.0-or-later
#include "phones/photointake.h"

#include "base/boundedimage.h"
#include "phones/phonerequests.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

namespace phones {

namespace {

PhotoIntake refused(const char* why, qint64 number = 0)
{
    PhotoIntake intake;
    intake.refusal = why;
    intake.refusalNumber = number;
    return intake;
}

} // namespace

PhotoIntake takeInPhoto(const QByteArray& bytes, const QSize& maxSize)
{
    if (bytes.size() > maxPhotoBytes)
        return refused(QT_TRANSLATE_NOOP("PhotoIntake", "The photo is larger than 15 MB."));
    const BoundedImage decoded =
        decodeBounded(bytes, maxSize, DecodeLimits{maxPhotoPixels, maxDecodeBytes, maxJpegScans});
    switch (decoded.refusal) {
    case BoundedImage::Refusal::None:
        break;
    case BoundedImage::Refusal::UnknownType:
        return refused(QT_TRANSLATE_NOOP("PhotoIntake",
                                         "This is no photo Vimo can read (JPEG, PNG, WebP, GIF or BMP)."));
    case BoundedImage::Refusal::Unreadable:
        return refused(QT_TRANSLATE_NOOP("PhotoIntake", "The photo could not be read."));
    case BoundedImage::Refusal::TooManyPixels:
        return refused(QT_TRANSLATE_NOOP("PhotoIntake", "The photo has more than 40 megapixels."));
    case BoundedImage::Refusal::TooMuchMemory:
        return refused(QT_TRANSLATE_NOOP("PhotoIntake", "The photo would take more than %1 MB to read."),
                       maxDecodeBytes / (1024LL * 1024));
    }
    QImage image = decoded.image;
    image = image.convertToFormat(QImage::Format_RGB888);
    // A fresh image of the pixels alone: the decoder's texts (comments of the phone's file) would
    // otherwise be written into our JPEG again.
    image =
        QImage(image.constBits(), image.width(), image.height(), image.bytesPerLine(), QImage::Format_RGB888)
            .copy();

    PhotoIntake intake;
    QBuffer out(&intake.jpeg);
    out.open(QIODevice::WriteOnly);
    QImageWriter writer(&out, "jpeg");
    writer.setQuality(92);
    if (!writer.write(image)) {
        intake.jpeg.clear();
        return refused(QT_TRANSLATE_NOOP("PhotoIntake", "The photo could not be read."));
    }
    intake.size = image.size();
    return intake;
}

} // namespace phones
