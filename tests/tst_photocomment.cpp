// SPDX-License-Identifier: GPL-3.0-or-later
// Comments inside JPEG photos: the bytes on disk, what libexif, exiftool and ImageMagick read from them.
#include "base/runlog.h"
#include "camera/photocomment.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sys/resource.h>

using vimotest::fileBytes;

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

std::string local(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

int segmentLength(const QByteArray& jpeg, int markerOffset)
{
    return (quint8(jpeg[markerOffset + 2]) << 8) | quint8(jpeg[markerOffset + 3]);
}

// The raw UserComment bytes of a photo as libexif loads them, code included; null when missing.
QByteArray rawUserComment(const QString& path)
{
    ExifData* data = exif_data_new_from_file(local(path).c_str());
    if (!data)
        return QByteArray();
    QByteArray raw;
    if (ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_USER_COMMENT))
        raw = QByteArray(reinterpret_cast<const char*>(entry->data), int(entry->size));
    exif_data_unref(data);
    return raw;
}

// exiftool's reading of the photo's tags, numbers as numbers.
QJsonObject exiftool(const QString& path)
{
    QProcess tool;
    tool.start(QStringLiteral("/usr/bin/exiftool"),
               {QStringLiteral("-j"), QStringLiteral("-n"), QStringLiteral("-UserComment"),
                QStringLiteral("-ExifImageWidth"), QStringLiteral("-ExifImageHeight"),
                QStringLiteral("-ColorSpace"), QStringLiteral("-Warning"), path});
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        return QJsonObject();
    return QJsonDocument::fromJson(tool.readAllStandardOutput()).array().first().toObject();
}

// ImageMagick's full decode of the photo: size and a signature of every pixel; "" when it fails.
QString imageMagickDecode(const QString& path)
{
    QProcess convert;
    convert.start(QStringLiteral("/usr/bin/convert"),
                  {QStringLiteral("-regard-warnings"), path, QStringLiteral("-format"),
                   QStringLiteral("%w %h %#"), QStringLiteral("info:")});
    if (!convert.waitForFinished(60000) || convert.exitStatus() != QProcess::NormalExit ||
        convert.exitCode() != 0)
        return QString();
    return QString::fromUtf8(convert.readAllStandardOutput());
}

QString withoutTrailingBlanks(QString text)
{
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

// Scenarios that must run in a process of their own.
int child(const QStringList& arguments)
{
    const QString scenario = arguments.value(0);
    QDir::setCurrent(arguments.value(1)); // the child's log goes there
    if (scenario == QLatin1String("short-read"))
        return writePhotoComment(local(arguments.value(2)), "never stored") ? 1 : 0;
    if (scenario == QLatin1String("disk-full")) {
        logMessage(QStringLiteral("child started"));
        // Writes beyond 16 KiB fail as on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16384, 16384};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
        return writePhotoComment(local(arguments.value(2)), "never stored") ? 1 : 0;
    }
    return 3;
}

} // namespace

class TestPhotoComment : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;
    QString cameraPhoto; // 1280 × 1024, as the webcam writes it
    QByteArray cameraBytes;
    QString cameraPixels;

    // A fresh copy of `bytes` (the camera's photo when empty) under `name`.
    QString photo(const QString& name, const QByteArray& bytes = QByteArray())
    {
        const QString path = folder.filePath(name);
        QFile::remove(path);
        return writeBytes(path, bytes.isEmpty() ? cameraBytes : bytes) ? path : QString();
    }

private slots:
    void initTestCase()
    {
        runFolder();
        QVERIFY(folder.isValid());
        cv::Mat image(1024, 1280, CV_8UC3);
        cv::randu(image, cv::Scalar::all(0), cv::Scalar::all(255));
        cv::GaussianBlur(image, image, cv::Size(15, 15), 0);
        cv::putText(image, "Vimo", cv::Point(100, 500), cv::FONT_HERSHEY_SIMPLEX, 10,
                    cv::Scalar(255, 255, 255), 20);
        cameraPhoto = folder.filePath(QStringLiteral("camera.jpg"));
        QVERIFY(cv::imwrite(local(cameraPhoto), image, {cv::IMWRITE_JPEG_QUALITY, 95}));
        cameraBytes = fileBytes(cameraPhoto);
        // The camera's file starts with the start-of-image marker and a 16-byte JFIF segment.
        QVERIFY(cameraBytes.startsWith(QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11)));
        cameraPixels = imageMagickDecode(cameraPhoto);
        QVERIFY(cameraPixels.startsWith(QStringLiteral("1280 1024 ")));
    }

    void rewrittenFileLayout()
    {
        const QString path = photo(QStringLiteral("layout.jpg"));
        QVERIFY(writePhotoComment(local(path), "Hello party"));
        const QByteArray bytes = fileBytes(path);
        QVERIFY(bytes.startsWith(QByteArray("\xFF\xD8\xFF\xE1", 4)));
        const int length = segmentLength(bytes, 2);
        const QByteArray block = bytes.mid(6, length - 2);
        QVERIFY(block.startsWith(QByteArray("Exif\0\0II*\0", 10)));
        // The camera's JFIF segment is replaced; every byte after it follows the EXIF segment.
        QCOMPARE(bytes.mid(4 + length), cameraBytes.mid(20));
        QCOMPARE(bytes.size(), 4 + length + cameraBytes.size() - 20);

        ExifData* data = exif_data_new_from_file(local(path).c_str());
        QVERIFY(data);
        ExifContent* exif = data->ifd[EXIF_IFD_EXIF];
        ExifEntry* width = exif_content_get_entry(exif, EXIF_TAG_PIXEL_X_DIMENSION);
        ExifEntry* height = exif_content_get_entry(exif, EXIF_TAG_PIXEL_Y_DIMENSION);
        ExifEntry* colourSpace = exif_content_get_entry(exif, EXIF_TAG_COLOR_SPACE);
        QVERIFY(width && height && colourSpace);
        QCOMPARE(width->format, EXIF_FORMAT_LONG);
        QCOMPARE(exif_get_long(width->data, exif_data_get_byte_order(data)), ExifLong(1280));
        QCOMPARE(exif_get_long(height->data, exif_data_get_byte_order(data)), ExifLong(1024));
        QCOMPARE(exif_get_short(colourSpace->data, exif_data_get_byte_order(data)), ExifShort(1));
        QCOMPARE(exif_data_get_byte_order(data), EXIF_BYTE_ORDER_INTEL);
        exif_data_unref(data);
        QCOMPARE(rawUserComment(path), QByteArray("ASCII\0\0\0Hello party", 19));
        QCOMPARE(readPhotoCommentFromFile(local(path)), std::string("Hello party"));
    }

    void commentsReadBack_data()
    {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("trailing blanks dropped") << QStringLiteral("Rock on   ") << QStringLiteral("Rock on");
        QTest::newRow("leading and inner blanks kept")
            << QStringLiteral("  two  words ") << QStringLiteral("  two  words");
        QTest::newRow("blanks only") << QStringLiteral("    ") << QString();
        QTest::newRow("tab kept") << QStringLiteral("tab\t") << QStringLiteral("tab\t");
        QTest::newRow("umlauts") << QStringLiteral("Grüße aus Köln – ♫ ÄÖÜß")
                                 << QStringLiteral("Grüße aus Köln – ♫ ÄÖÜß");
        QTest::newRow("2000 bytes read back as 1023")
            << QString(2000, QLatin1Char('x')) << QString(1023, QLatin1Char('x'));
    }
    void commentsReadBack()
    {
        QFETCH(QString, comment);
        QFETCH(QString, expected);
        const QString path = photo(QStringLiteral("comment.jpg"));
        const std::string bytes = comment.toStdString();
        QVERIFY(writePhotoComment(local(path), bytes));
        // Stored whole, marked with the ASCII code.
        QCOMPARE(rawUserComment(path), QByteArray("ASCII\0\0\0", 8) + QByteArray::fromStdString(bytes));
        QCOMPARE(QString::fromStdString(readPhotoCommentFromFile(local(path))), expected);

        ExifData* data = exif_data_new_from_file(local(path).c_str());
        QCOMPARE(QString::fromStdString(readPhotoComment(data)), expected);
        exif_data_unref(data);

        // exiftool (PixelXDimension is its ExifImageWidth) reads the whole comment, trailing blanks dropped.
        const QJsonObject tags = exiftool(path);
        QCOMPARE(tags.value(QStringLiteral("ExifImageWidth")).toInt(), 1280);
        QCOMPARE(tags.value(QStringLiteral("ExifImageHeight")).toInt(), 1024);
        QCOMPARE(tags.value(QStringLiteral("ColorSpace")).toInt(), 1);
        QVERIFY2(!tags.contains(QStringLiteral("Warning")),
                 qPrintable(tags.value(QStringLiteral("Warning")).toString()));
        QCOMPARE(tags.value(QStringLiteral("UserComment")).toVariant().toString(),
                 withoutTrailingBlanks(comment));
        QCOMPARE(imageMagickDecode(path), cameraPixels);
    }

    void otherToolsCommentsReadBack_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("motorola");
        QTest::addColumn<QString>("expected");
        const QString text = QStringLiteral("Grüße ♫ 𝄞");
        const auto units = [&text](bool bigEndian) {
            QByteArray bytes;
            for (const QChar unit : text) {
                const char high = char(unit.unicode() >> 8), low = char(unit.unicode() & 0xFF);
                bytes += bigEndian ? QByteArray(1, high) + low : QByteArray(1, low) + high;
            }
            return bytes;
        };
        QTest::newRow("Unicode, Intel order") << QByteArray("UNICODE\0", 8) + units(false) << false << text;
        QTest::newRow("Unicode, Motorola order") << QByteArray("UNICODE\0", 8) + units(true) << true << text;
        QTest::newRow("Unicode with a byte order mark against the EXIF order")
            << QByteArray("UNICODE\0\xFE\xFF", 10) + units(true) + QByteArray(2, '\0') << false << text;
        QTest::newRow("undefined code, UTF-8")
            << QByteArray(8, '\0') + text.toUtf8() + QByteArray(3, '\0') << false << text;
        QTest::newRow("cut at 1023 bytes before a character that does not fit")
            << QByteArray("ASCII\0\0\0", 8) + QByteArray(1022, 'x') + QStringLiteral("ü!").toUtf8() << false
            << QString(1022, QLatin1Char('x'));
    }

    void otherToolsCommentsReadBack()
    {
        QFETCH(QByteArray, raw);
        QFETCH(bool, motorola);
        QFETCH(QString, expected);
        ExifData* data = exif_data_new();
        exif_data_set_byte_order(data, motorola ? EXIF_BYTE_ORDER_MOTOROLA : EXIF_BYTE_ORDER_INTEL);
        ExifEntry* entry = exif_entry_new();
        entry->tag = EXIF_TAG_USER_COMMENT;
        entry->format = EXIF_FORMAT_UNDEFINED;
        entry->components = entry->size = uint(raw.size());
        entry->data = static_cast<unsigned char*>(std::malloc(size_t(raw.size())));
        std::memcpy(entry->data, raw.constData(), size_t(raw.size()));
        exif_content_add_entry(data->ifd[EXIF_IFD_EXIF], entry);
        exif_entry_unref(entry);
        QCOMPARE(QString::fromStdString(readPhotoComment(data)), expected);
        exif_data_unref(data);
    }

    void otherJpegsKeepEveryByte_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        const QByteArray soi = cameraBytes.left(2);
        const QByteArray afterJfif = cameraBytes.mid(20);
        QTest::newRow("no APP0 segment") << soi + afterJfif;
        QTest::newRow("comment segment first")
            << soi + QByteArray("\xFF\xFE\x00\x08party", 10) + cameraBytes.mid(2);
        QTest::newRow("JFIF segment of 18 bytes")
            << soi + QByteArray("\xFF\xE0\x00\x12JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\x00\x00", 20) +
                   afterJfif;
        QTest::newRow("JFXX segment of 16 bytes")
            << soi + QByteArray("\xFF\xE0\x00\x10JFXX\x00\x13\x00\x00\x00\x00\x00\x00\x00", 18) + afterJfif;
    }
    void otherJpegsKeepEveryByte()
    {
        QFETCH(QByteArray, jpeg);
        const QString path = photo(QStringLiteral("other.jpg"), jpeg);
        const QString pixels = imageMagickDecode(path);
        QCOMPARE(pixels, cameraPixels);
        QVERIFY(writePhotoComment(local(path), "kept"));
        const QByteArray bytes = fileBytes(path);
        const int length = segmentLength(bytes, 2);
        QVERIFY(bytes.startsWith(QByteArray("\xFF\xD8\xFF\xE1", 4)));
        // The segment goes in right after the start-of-image marker; nothing of the original is lost.
        QCOMPARE(bytes.mid(4 + length), jpeg.mid(2));
        QCOMPARE(imageMagickDecode(path), pixels);
        QCOMPARE(readPhotoCommentFromFile(local(path)), std::string("kept"));
    }

    void photoWithExifIsNotRewrittenAgain()
    {
        const QString path = photo(QStringLiteral("twice.jpg"));
        QVERIFY(writePhotoComment(local(path), "first"));
        const QByteArray once = fileBytes(path);
        QVERIFY(!writePhotoComment(local(path), "second"));
        QCOMPARE(fileBytes(path), once);
        QCOMPARE(readPhotoCommentFromFile(local(path)), std::string("first"));
        QVERIFY(vimotest::readTextFile(logFilePath())
                    .contains(QStringLiteral("The photo \"") + path +
                              QStringLiteral("\" already holds EXIF data; the comment was not stored.")));
    }

    void filesThatAreNoPhotoStayUntouched()
    {
        const QString text = photo(QStringLiteral("notes.jpg"), QByteArray("just some notes\n"));
        QVERIFY(!writePhotoComment(local(text), "comment"));
        QCOMPARE(fileBytes(text), QByteArray("just some notes\n"));
        QVERIFY(vimotest::readTextFile(logFilePath())
                    .contains(QStringLiteral("The photo \"") + text +
                              QStringLiteral("\" is no JPEG file; the comment was not stored.")));

        const QString missing = folder.filePath(QStringLiteral("missing.jpg"));
        QVERIFY(!writePhotoComment(local(missing), "comment"));
        QVERIFY(!QFileInfo::exists(missing));
    }

    void longCommentsAreShortenedToFit_data()
    {
        QTest::addColumn<QString>("comment");
        QTest::newRow("70,000 ASCII characters") << QString(70000, QLatin1Char('a'));
        QTest::newRow("70,000 two-byte characters") << QString(70000, QChar(0xE4));
        QTest::newRow("three-byte characters") << QString(30000, QChar(0x20AC));
        QString mixed;
        while (mixed.size() < 70000)
            mixed += QStringLiteral("Grüße ♫ ");
        QTest::newRow("mixed widths") << mixed;
    }
    void longCommentsAreShortenedToFit()
    {
        QFETCH(QString, comment);
        const QString path = photo(QStringLiteral("long.jpg"));
        const std::string bytes = comment.toStdString();
        QVERIFY(writePhotoComment(local(path), bytes));

        const QByteArray written = fileBytes(path);
        const int length = segmentLength(written, 2);
        // The length is the real one: the next segment's marker follows right after it, and the rest is
        // the camera's file.
        QVERIFY(length > 60000);
        QCOMPARE(written.size(), 4 + length + cameraBytes.size() - 20);
        QCOMPARE(written.mid(4 + length), cameraBytes.mid(20));
        QCOMPARE(imageMagickDecode(path), cameraPixels);

        const QByteArray raw = rawUserComment(path);
        QVERIFY(raw.startsWith(QByteArray("ASCII\0\0\0", 8)));
        const QByteArray stored = raw.mid(8);
        QVERIFY(stored.size() < int(bytes.size()));
        QVERIFY(QByteArray::fromStdString(bytes).startsWith(stored));
        // Cut between characters: the stored bytes are whole UTF-8 characters.
        const QString storedText = QString::fromUtf8(stored);
        QVERIFY(comment.startsWith(storedText));
        QCOMPARE(storedText.toUtf8(), stored);
        QCOMPARE(exiftool(path).value(QStringLiteral("UserComment")).toString(),
                 withoutTrailingBlanks(storedText));
        QVERIFY(
            vimotest::readTextFile(logFilePath())
                .contains(QStringLiteral("The comment for the photo \"%1\" was shortened from %2 to %3 bytes")
                              .arg(path)
                              .arg(bytes.size())
                              .arg(stored.size())));
    }

    void shortReadLeavesPhotoAndProcessAlone()
    {
        // A sysfs attribute claims a page of bytes but delivers only a few: a short read on demand.
        const QString attribute = QStringLiteral("/sys/devices/system/cpu/online");
        const QByteArray before = fileBytes(attribute);
        if (before.isEmpty() || QFileInfo(attribute).size() <= before.size())
            QSKIP("no file here reports more bytes than it delivers");
        QTemporaryDir childFolder;
        QCOMPARE(vimotest::runChild({QStringLiteral("short-read"), childFolder.path(), attribute}), 0);
        QCOMPARE(fileBytes(attribute), before);
        const QString log = vimotest::readTextFile(childFolder.filePath(QStringLiteral("Vimo log file.txt")));
        QVERIFY2(log.contains(
                     QStringLiteral("Reading error: only %1 of %2 bytes of the photo \"%3\" could be read")
                         .arg(before.size())
                         .arg(QFileInfo(attribute).size())
                         .arg(attribute)),
                 qPrintable(log));
    }

    void failedWriteKeepsThePhoto()
    {
        const QString path = photo(QStringLiteral("disk full.jpg"));
        QVERIFY(cameraBytes.size() > 16384);
        QTemporaryDir childFolder;
        QCOMPARE(vimotest::runChild({QStringLiteral("disk-full"), childFolder.path(), path}), 0);
        QCOMPARE(fileBytes(path), cameraBytes);
        QCOMPARE(
            QDir(folder.path()).entryList({QStringLiteral("disk full.jpg*")}, QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("disk full.jpg")});
        const QString log = vimotest::readTextFile(childFolder.filePath(QStringLiteral("Vimo log file.txt")));
        QVERIFY2(log.contains(QStringLiteral("The comment could not be stored in the photo \"") + path),
                 qPrintable(log));
    }

    // A photo whose frame header claims far more pixels than its data holds (fuzzing found one that held
    // the rewrite for minutes) is measured from the header, not decoded.
    void claimedSizeComesFromTheHeader_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QByteArray huge = cameraBytes;
        const int frame = huge.indexOf(QByteArray("\xFF\xC0", 2));
        QVERIFY(frame > 0);
        // Height, then width, behind the segment length and the sample precision.
        huge.replace(frame + 5, 4, QByteArray("\xEA\x60\xEA\x60", 4));
        QTest::newRow("baseline 60000 x 60000") << huge << 60000 << 60000;
        QTest::newRow("progressive found by fuzzing")
            << fileBytes(vimotest::sourceDirectory() +
                         QStringLiteral("/tests/fuzz/corpus/photocomment/found-timeout-huge-size.bin"))
                   .mid(1)
            << 26896 << 17784;
    }
    void claimedSizeComesFromTheHeader()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(int, width);
        QFETCH(int, height);
        QVERIFY(jpeg.startsWith(QByteArray("\xFF\xD8", 2)));
        const QString path = photo(QStringLiteral("claims.jpg"), jpeg);
        QVERIFY(writePhotoComment(local(path), "big"));
        QCOMPARE(readPhotoCommentFromFile(local(path)), std::string("big"));
        const QByteArray bytes = fileBytes(path);
        QCOMPARE(bytes.mid(4 + segmentLength(bytes, 2)),
                 jpeg.mid(jpeg.startsWith("\xFF\xD8\xFF\xE0") ? 20 : 2));
        const QJsonObject tags = exiftool(path);
        QCOMPARE(tags.value(QStringLiteral("ExifImageWidth")).toInt(), width);
        QCOMPARE(tags.value(QStringLiteral("ExifImageHeight")).toInt(), height);
    }

    void readingWithoutExif()
    {
        QCOMPARE(readPhotoCommentFromFile(local(cameraPhoto)), std::string());
        QCOMPARE(readPhotoComment(nullptr), std::string());
        QCOMPARE(readPhotoCommentFromFile(local(folder.filePath(QStringLiteral("missing.jpg")))),
                 std::string());
    }
};

VIMO_TEST_MAIN_WITH_CHILD(TestPhotoComment, child)
#include "tst_photocomment.moc"
