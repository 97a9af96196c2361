// SPDX-License-Identifier: GPL-3.0-or-later
#include "phones/photointake.h"

#include "phones/phonerequests.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

namespace phones {

namespace {

const char* formatOf(PhotoType type)
{
    switch (type) {
    case PhotoType::Jpeg:
        return "jpeg";
    case PhotoType::Png:
        return "png";
    case PhotoType::Webp:
        return "webp";
    case PhotoType::Gif:
        return "gif";
    case PhotoType::Bmp:
        return "bmp";
    case PhotoType::Unknown:
        break;
    }
    return nullptr;
}

PhotoIntake refused(const QString& why)
{
    PhotoIntake intake;
    intake.refusal = why;
    return intake;
}

} // namespace

PhotoType sniffPhotoType(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return PhotoType::Jpeg;
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return PhotoType::Png;
    if (bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return PhotoType::Webp;
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return PhotoType::Gif;
    if (bytes.startsWith("BM") && bytes.size() >= 26)
        return PhotoType::Bmp;
    return PhotoType::Unknown;
}

PhotoIntake takeInPhoto(const QByteArray& bytes, const QSize& maxSize)
{
    if (bytes.size() > maxPhotoBytes)
        return refused(QCoreApplication::translate("PhotoIntake", "The photo is larger than 15 MB."));
    const char* format = formatOf(sniffPhotoType(bytes));
    if (!format || !QImageReader::supportedImageFormats().contains(format))
        return refused(QCoreApplication::translate(
            "PhotoIntake", "This is no photo Vimo can read (JPEG, PNG, WebP, GIF or BMP)."));

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // The reader is told the type we found, so no other decoder ever sees these bytes.
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    const QSize claimed = reader.size();
    if (!claimed.isValid() || claimed.isEmpty())
        return refused(QCoreApplication::translate("PhotoIntake", "The photo could not be read."));
    if (static_cast<qint64>(claimed.width()) * claimed.height() > maxPhotoPixels)
        return refused(QCoreApplication::translate("PhotoIntake", "The photo has more than 40 megapixels."));
    // A photo larger than what is kept is decoded already scaled where the decoder can (JPEG), which
    // spares most of the memory a full decode would take.
    QSize target = claimed;
    if (maxSize.isValid() && (claimed.width() > maxSize.width() || claimed.height() > maxSize.height()))
        target = claimed.scaled(maxSize, Qt::KeepAspectRatio);
    target = target.expandedTo(QSize(1, 1));
    reader.setScaledSize(target);
    QImage image = reader.read();
    if (image.isNull())
        return refused(QCoreApplication::translate("PhotoIntake", "The photo could not be read."));
    // An orientation tag may have turned it: fit the turned picture once more.
    if (maxSize.isValid() && (image.width() > maxSize.width() || image.height() > maxSize.height()))
        image = image.scaled(maxSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
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
        return refused(QCoreApplication::translate("PhotoIntake", "The photo could not be read."));
    }
    intake.size = image.size();
    return intake;
}

} // namespace phones
