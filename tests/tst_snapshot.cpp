// SPDX-License-Identifier: GPL-3.0-or-later
// The webcam over a generated video: photo names, the capture's log lines, the JPEGs and the job order.
#include "base/runlog.h"
#include "camera/Snapshot.h"
#include "camera/photonames.h"
#include "testsupport.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFuture>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace {

// Distinct frame colours (BGR), so a photo tells which frame it shows.
const cv::Scalar frameColours[] = {{200, 40, 40},  {40, 200, 40},  {40, 40, 200},
                                   {200, 200, 40}, {40, 200, 200}, {200, 40, 200}};

// A Motion-JPEG video written by OpenCV's own encoder, one coloured frame with a white band per entry.
bool makeVideo(const QString& path, int width, int height, int frames)
{
    cv::VideoWriter writer(QFile::encodeName(path).toStdString(), cv::CAP_OPENCV_MJPEG,
                           cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 10, cv::Size(width, height));
    if (!writer.isOpened())
        return false;
    for (int i = 0; i < frames; ++i) {
        cv::Mat frame(height, width, CV_8UC3, frameColours[i]);
        cv::rectangle(frame, cv::Rect(0, 0, width / 4, height / 4), cv::Scalar(255, 255, 255), cv::FILLED);
        writer.write(frame);
    }
    writer.release();
    return QFileInfo(path).size() > 0;
}

// Which frame a photo shows, by the colour at its centre; -1 when none fits.
int frameShownIn(const QString& photo)
{
    const QImage image(photo);
    if (image.isNull())
        return -1;
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
    for (int i = 0; i < int(std::size(frameColours)); ++i) {
        const cv::Scalar& bgr = frameColours[i];
        if (qAbs(centre.blue() - bgr[0]) < 16 && qAbs(centre.green() - bgr[1]) < 16 &&
            qAbs(centre.red() - bgr[2]) < 16)
            return i;
    }
    return -1;
}

QStringList logLinesAfter(int offset)
{
    QStringList lines;
    const QString log = vimotest::readTextFile(logFilePath()).mid(offset);
    static const QRegularExpression prefix(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d-\d\d-\d\d\t::\t)"));
    for (const QString& line : log.split('\n', Qt::SkipEmptyParts))
        lines << QString(line).remove(prefix);
    return lines;
}

int logSize()
{
    return vimotest::readTextFile(logFilePath()).size();
}

} // namespace

class TestSnapshot : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;
    QString smallVideo; // 320 × 240, three frames
    QString largeVideo; // 1280 × 1024, six frames

    QString path(const QString& name) const { return folder.filePath(name); }

private slots:
    void initTestCase()
    {
        runFolder();
        QVERIFY(folder.isValid());
        smallVideo = path(QStringLiteral("small.avi"));
        largeVideo = path(QStringLiteral("large.avi"));
        QVERIFY(makeVideo(smallVideo, 320, 240, 3));
        QVERIFY(makeVideo(largeVideo, 1280, 1024, 6));
    }

    void paddedNumbers_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("zeroFill");
        QTest::addColumn<QString>("expected");
        QTest::newRow("7th") << 7 << false << QStringLiteral("  7");
        QTest::newRow("42nd") << 42 << false << QStringLiteral(" 42");
        QTest::newRow("999th") << 999 << false << QStringLiteral("999");
        QTest::newRow("1000th") << 1000 << false << QStringLiteral("1000");
        QTest::newRow("123456th") << 123456 << false << QStringLiteral("123456");
        QTest::newRow("zero filled") << 7 << true << QStringLiteral("007");
        QTest::newRow("zero") << 0 << false << QStringLiteral("  0");
    }
    void paddedNumbers()
    {
        QFETCH(int, value);
        QFETCH(bool, zeroFill);
        QFETCH(QString, expected);
        QCOMPARE(paddedNumber(value, zeroFill), expected);
    }

    void unsafeCharactersRemoved_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("slash") << QStringLiteral("AC/DC") << QStringLiteral("ACDC");
        QTest::newRow("question mark and colon")
            << QStringLiteral("Who? Me: Yes") << QStringLiteral("Who Me Yes");
        QTest::newRow("run removed whole") << QStringLiteral("A?:*\"<>|\\/B") << QStringLiteral("AB");
        QTest::newRow("runs between words")
            << QStringLiteral("Why?? Not::now") << QStringLiteral("Why Notnow");
        QTest::newRow("safe text kept")
            << QStringLiteral("Grüße - (live) & more!") << QStringLiteral("Grüße - (live) & more!");
        QTest::newRow("only unsafe") << QStringLiteral("?/?") << QString();
    }
    void unsafeCharactersRemoved()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        removeUnsafeFileNameCharacters(name);
        QCOMPARE(name, expected);
    }

    void portraitNames_data()
    {
        QTest::addColumn<int>("counter");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("random");
        QTest::addColumn<QString>("expected");
        QTest::newRow("7th wish") << 7 << QStringLiteral("AC/DC") << QStringLiteral("Who Made Who?") << false
                                  << QStringLiteral("2013-02-20 20-15-33 -   7 - ACDC - Who Made Who.jpg");
        QTest::newRow("1000th wish") << 1000 << QStringLiteral("Queen") << QStringLiteral("Live: Killers")
                                     << false
                                     << QStringLiteral(
                                            "2013-02-20 20-15-33 - 1000 - Queen - Live Killers.jpg");
        QTest::newRow("random pick") << 12 << QStringLiteral("Björk") << QStringLiteral("Army of Me") << true
                                     << QStringLiteral(
                                            "2013-02-20 20-15-33 -  12 - Björk - Army of Me - (random).jpg");
        QTest::newRow("run of unsafe characters")
            << 3 << QStringLiteral("A*?<>B") << QStringLiteral("\"Quoted\" | piped") << false
            << QStringLiteral("2013-02-20 20-15-33 -   3 - AB - Quoted  piped.jpg");
        QTest::newRow("control characters")
            << 4 << QStringLiteral("Line\nBreak")
            << QStringLiteral("Tab\tNull") + QChar(0) + QStringLiteral("\x1b[2K") << false
            << QStringLiteral("2013-02-20 20-15-33 -   4 - Line Break - Tab Null  [2K.jpg");
    }
    void portraitNames()
    {
        QFETCH(int, counter);
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(bool, random);
        QFETCH(QString, expected);
        const QDateTime takenAt(QDate(2013, 2, 20), QTime(20, 15, 33));
        QCOMPARE(portraitFileName(takenAt, counter, artist, title, random), expected);
    }

    void noWebcamWantedMakesNoFolderAndNoNames()
    {
        const int before = logSize();
        QString portraitDirectory;
        QVERIFY(!opencv::webcamForRun(nullptr, portraitDirectory));
        QVERIFY(portraitDirectory.isEmpty());
        QCOMPARE(logLinesAfter(before), QStringList{QStringLiteral("Webcam initialization failed.")});
        QVERIFY(!QFileInfo::exists(runFolder() + QStringLiteral("DJ portraits")));

        int photoCounter = 0;
        QVERIFY(
            opencv::nameNextPortrait(nullptr, photoCounter, QStringLiteral("A"), QStringLiteral("T"), false)
                .isEmpty());
        QVERIFY(
            opencv::nameNextPortrait(nullptr, photoCounter, QStringLiteral("A"), QStringLiteral("T"), true)
                .isEmpty());
        QCOMPARE(photoCounter, 0);
    }

    void deviceThatDoesNotOpen()
    {
        const int before = logSize();
        {
            auto webcam = std::make_unique<opencv::Snapshot>(63, 1280, 1024, 100);
            QVERIFY(!webcam->isOpened());
            QVERIFY(!webcam->takePicture(path(QStringLiteral("never.jpg"))));
            QString portraitDirectory;
            QVERIFY(!opencv::webcamForRun(std::move(webcam), portraitDirectory));
            QVERIFY(portraitDirectory.isEmpty());
        }
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("never.jpg"))));
        // A device that never opened is not released, and a closed camera grabs nothing.
        QCOMPARE(logLinesAfter(before), QStringList{QStringLiteral("Webcam initialization failed.")});
        QVERIFY(!QFileInfo::exists(runFolder() + QStringLiteral("DJ portraits")));
    }

    void captureLogsItsPropertiesAndKeepsItsOwnSize()
    {
        const int before = logSize();
        {
            // A video cannot change its frame size: the request is undone and the own size logged.
            opencv::Snapshot webcam(smallVideo, 1280, 1024, 100);
            QVERIFY(webcam.isOpened());
            const QStringList expected{
                QStringLiteral("OpenCV: code of codec: %1").arg(cv::VideoWriter::fourcc('M', 'J', 'P', 'G')),
                QStringLiteral("OpenCV: Width of the frames: 320"),
                QStringLiteral("OpenCV: Height of the frames: 240"),
                QStringLiteral("OpenCV: Frame rate: 10")};
            QCOMPARE(logLinesAfter(before), expected);
            QVERIFY(webcam.takePicture(path(QStringLiteral("own size.jpg"))));
            QCOMPARE(QImage(path(QStringLiteral("own size.jpg"))).size(), QSize(320, 240));
        }
        QCOMPARE(logLinesAfter(before).last(), QStringLiteral("Released the webcam"));
        QCOMPARE(logLinesAfter(before).count(QStringLiteral("Released the webcam")), 1);
    }

    void picturesShowTheFramesUntilNoneIsLeft()
    {
        opencv::Snapshot webcam(smallVideo, 320, 240, 100);
        QVERIFY(webcam.isOpened());
        for (int frame = 0; frame < 3; ++frame) {
            const QString photo = path(QStringLiteral("frame %1.jpg").arg(frame));
            QVERIFY(webcam.takePicture(photo));
            QFile file(photo);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.read(3) == QByteArray("\xFF\xD8\xFF"));
            QCOMPARE(QImage(photo).size(), QSize(320, 240));
            QCOMPARE(frameShownIn(photo), frame);
        }
        const int before = logSize();
        const QString missing = path(QStringLiteral("no frame.jpg"));
        QVERIFY(!webcam.takePicture(missing));
        QVERIFY(!QFileInfo::exists(missing));
        QCOMPARE(logLinesAfter(before),
                 QStringList{QStringLiteral("Failed to retrieve current frame from webcam")});
    }

    void jpegQualityReachesTheEncoder()
    {
        opencv::Snapshot fine(largeVideo, 1280, 1024, 100);
        opencv::Snapshot coarse(largeVideo, 1280, 1024, 10);
        const QString finePhoto = path(QStringLiteral("quality 100.jpg"));
        const QString coarsePhoto = path(QStringLiteral("quality 10.jpg"));
        QVERIFY(fine.takePicture(finePhoto));
        QVERIFY(coarse.takePicture(coarsePhoto));
        QCOMPARE(frameShownIn(finePhoto), 0);
        QCOMPARE(frameShownIn(coarsePhoto), 0);
        QVERIFY2(QFileInfo(coarsePhoto).size() < QFileInfo(finePhoto).size(),
                 qPrintable(QStringLiteral("%1 vs %2")
                                .arg(QFileInfo(coarsePhoto).size())
                                .arg(QFileInfo(finePhoto).size())));
    }

    void openedWebcamGetsThePortraitFolder()
    {
        const int before = logSize();
        QString portraitDirectory;
        std::unique_ptr<opencv::Snapshot> webcam = opencv::webcamForRun(
            std::make_unique<opencv::Snapshot>(smallVideo, 320, 240, 100), portraitDirectory);
        QVERIFY(webcam);
        const QString expected = QDir::toNativeSeparators(runFolder() + QStringLiteral("DJ portraits/"));
        QCOMPARE(portraitDirectory, expected);
        QVERIFY(QFileInfo(portraitDirectory).isDir());
        const QStringList lines = logLinesAfter(before);
        QCOMPARE(lines.mid(lines.size() - 2),
                 (QStringList{QStringLiteral("Directory \"") + expected + QStringLiteral("\" was created."),
                              QStringLiteral("Webcam was successfully initialized.")}));

        int photoCounter = 6;
        const QString name = opencv::nameNextPortrait(webcam.get(), photoCounter, QStringLiteral("AC/DC"),
                                                      QStringLiteral("T.N.T.?"), false);
        QCOMPARE(photoCounter, 7);
        QVERIFY2(QRegularExpression(
                     QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d-\d\d-\d\d -   7 - ACDC - T\.N\.T\.\.jpg$)"))
                     .match(name)
                     .hasMatch(),
                 qPrintable(name));
        const QString random = opencv::nameNextPortrait(webcam.get(), photoCounter, QStringLiteral("AC/DC"),
                                                        QStringLiteral("T.N.T.?"), true);
        QCOMPARE(photoCounter, 8);
        QVERIFY2(random.endsWith(QStringLiteral(" -   8 - ACDC - T.N.T. - (random).jpg")),
                 qPrintable(random));

        QFuture<void> job;
        QVERIFY(opencv::startSnapshotJob(webcam.get(), job, true, portraitDirectory, name));
        // A wish's photo is complete when the call returns, so the comment dialog can show it.
        QVERIFY(job.isFinished());
        QCOMPARE(frameShownIn(portraitDirectory + name), 0);
    }

    void snapshotJobsNeverOverlap()
    {
        opencv::Snapshot webcam(largeVideo, 1280, 1024, 100);
        QVERIFY(webcam.isOpened());
        QFuture<void> job;
        const QString folderPath = folder.path() + QLatin1Char('/');
        for (int wish = 0; wish < 5; ++wish) {
            const QFuture<void> previous = job;
            QVERIFY(!opencv::startSnapshotJob(&webcam, job, false, folderPath,
                                              QStringLiteral("wish %1.jpg").arg(wish)));
            // The previous photo was finished before this one started.
            QVERIFY(previous.isFinished());
        }
        job.waitForFinished();
        for (int wish = 0; wish < 5; ++wish)
            QCOMPARE(frameShownIn(path(QStringLiteral("wish %1.jpg").arg(wish))), wish);

        // No name, no job: the last job stays the one waited for.
        const QFuture<void> last = job;
        QVERIFY(!opencv::startSnapshotJob(&webcam, job, false, folderPath, QString()));
        QVERIFY(job == last);
    }
};

VIMO_TEST_MAIN(TestSnapshot)
#include "tst_snapshot.moc"
