// SPDX-License-Identifier: GPL-3.0-or-later
// The party album: the entries of a night as the queue named them, the page with its escaping, missing
// photos, updates after photo jobs and comments, and the page as headless Chromium shows it.
#include "base/runlog.h"
#include "camera/photocomment.h"
#include "camera/photonames.h"
#include "party/PartyAlbum.h"
#include "testsupport.h"
#include "ui/Floater.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace {

const QString portraits = QStringLiteral("DJ portraits");

QDateTime at(const QString& time)
{
    return QDateTime::fromString(QStringLiteral("2024-05-01 ") + time, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// What the queue knows of a portrait it names at `time`.
AlbumEntry portrait(const QString& time, int counter, const QString& artist, const QString& title,
                    bool random)
{
    AlbumEntry known;
    known.fileName = portraitFileName(at(time), counter, artist, title, random);
    known.takenAt = at(time);
    known.counter = counter;
    known.artist = artist;
    known.title = title;
    known.random = random;
    return known;
}

// Names a portrait as the queue does; returns its file name.
QString namePortrait(PartyAlbum& album, const QString& time, int counter, const QString& artist,
                     const QString& title, bool random)
{
    const AlbumEntry known = portrait(time, counter, artist, title, random);
    album.portraitNamed(known);
    return known.fileName;
}

// A webcam-like JPEG of one colour (BGR).
bool writePhoto(const QString& path, const cv::Scalar& colour, int width = 320, int height = 256)
{
    const cv::Mat frame(height, width, CV_8UC3, colour);
    return cv::imwrite(QFile::encodeName(path).toStdString(), frame);
}

int count(const QString& text, const QString& part)
{
    return text.count(part);
}

bool near(const QColor& pixel, const QColor& colour, int tolerance)
{
    return qAbs(pixel.red() - colour.red()) <= tolerance &&
           qAbs(pixel.green() - colour.green()) <= tolerance &&
           qAbs(pixel.blue() - colour.blue()) <= tolerance;
}

// The pixels of `image` inside `area` within `tolerance` of `colour` in every channel: their number and
// the rectangle around them.
struct ColourArea
{
    int pixels = 0;
    QRect bounds;
};
ColourArea colourArea(const QImage& image, const QColor& colour, int tolerance, QRect area = QRect())
{
    area = area.isNull() ? image.rect() : area.intersected(image.rect());
    ColourArea found;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (near(image.pixelColor(x, y), colour, tolerance)) {
                ++found.pixels;
                found.bounds |= QRect(x, y, 1, 1);
            }
    return found;
}

int darkPixelsIn(const QImage& image, const QRect& area)
{
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 110)
                ++dark;
    return dark;
}

} // namespace

class TestPartyAlbum : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;
    int runs = 0;

    // A fresh run folder with an empty portrait folder; returns the run folder.
    QString newRun()
    {
        const QString run =
            scratch.filePath(QStringLiteral("2024-05-01 20-%1/").arg(++runs, 2, 10, QLatin1Char('0')));
        return QDir().mkpath(run + portraits) ? run : QString();
    }

    static QString portraitFolder(const QString& run) { return run + portraits + QLatin1Char('/'); }

    // Names a portrait as the queue does and writes its photo; "" when the photo could not be written.
    static QString takePhoto(PartyAlbum& album, const QString& run, const QString& time, int counter,
                             const QString& artist, const QString& title, bool random,
                             const cv::Scalar& colour = {90, 60, 30})
    {
        const QString name = namePortrait(album, time, counter, artist, title, random);
        return writePhoto(portraitFolder(run) + name, colour) ? name : QString();
    }

private slots:
    void initTestCase()
    {
        runFolder();
        QVERIFY(scratch.isValid());
    }

    void everyPhotoOnceAsTheQueueKnowsIt()
    {
        const QString run = newRun();
        QVERIFY(!run.isEmpty());
        PartyAlbum album(run, portraitFolder(run));
        const QString first = takePhoto(album, run, QStringLiteral("20:16:00"), 1, QStringLiteral("AC/DC"),
                                        QStringLiteral("T.N.T."), false);
        const QString second = takePhoto(album, run, QStringLiteral("20:19:30"), 2,
                                         QStringLiteral("Daft Punk"), QStringLiteral("One More Time"), true);
        // Titles that a name read back would get wrong: a line break, and a wish that ends like a pick.
        const QString broken = takePhoto(album, run, QStringLiteral("20:21:00"), 3,
                                         QStringLiteral("Breakers"), QStringLiteral("Line\nBreak"), false);
        const QString notRandom =
            takePhoto(album, run, QStringLiteral("20:22:00"), 4, QStringLiteral("Wishful"),
                      QStringLiteral("Song - (random)"), false);
        // The frame grab of the fifth failed: named, never written.
        const QString missing = namePortrait(album, QStringLiteral("20:23:10"), 5, QStringLiteral("Björk"),
                                             QStringLiteral("Army of Me"), false);
        // Photos this run never named: left over from an earlier run in the same minute, or put there.
        const QString earlier = portraitFileName(at(QStringLiteral("20:15:10")), 1, QStringLiteral("Earlier"),
                                                 QStringLiteral("Run"), true);
        QVERIFY(writePhoto(portraitFolder(run) + earlier, {0, 0, 255}));
        QVERIFY(writePhoto(portraitFolder(run) + QStringLiteral("cover.jpg"), {0, 255, 0}));
        QVERIFY(!first.isEmpty() && !second.isEmpty() && !broken.isEmpty() && !notRandom.isEmpty());
        QVERIFY(writePhotoComment(QFile::encodeName(portraitFolder(run) + first).toStdString(),
                                  "Für Anna – alles Gute!"));
        QVERIFY(
            writePhotoComment(QFile::encodeName(portraitFolder(run) + broken).toStdString(), "Still here"));

        const QList<AlbumEntry> entries = album.entries();
        QHash<QString, AlbumEntry> byName;
        for (const AlbumEntry& entry : entries)
            byName.insert(entry.fileName, entry);
        const QStringList photos = QDir(portraitFolder(run)).entryList(QDir::Files);
        QCOMPARE(photos.size(), 6);
        QCOMPARE(entries.size(), photos.size() + 1);
        for (const QString& photo : photos)
            QVERIFY2(byName.contains(photo) && byName.value(photo).photoExists, qPrintable(photo));
        QCOMPARE(byName.size(), entries.size());

        QVERIFY(!byName.value(missing).photoExists);
        QCOMPARE(byName.value(missing).artist, QStringLiteral("Björk"));
        QVERIFY(byName.value(second).random);
        QCOMPARE(byName.value(second).comment, QString());
        // The queue's own text, not the name cleaned for the file system.
        QCOMPARE(byName.value(first).artist, QStringLiteral("AC/DC"));
        QCOMPARE(byName.value(first).comment, QStringLiteral("Für Anna – alles Gute!"));
        QCOMPARE(byName.value(broken).title, QStringLiteral("Line\nBreak"));
        QCOMPARE(byName.value(broken).comment, QStringLiteral("Still here"));
        QCOMPARE(byName.value(notRandom).title, QStringLiteral("Song - (random)"));
        QVERIFY(!byName.value(notRandom).random);
        // What is known of a photo nobody named is the photo itself: no song is made up from its name.
        QCOMPARE(byName.value(earlier).artist, QString());
        QVERIFY(!byName.value(earlier).random);

        // Newest first.
        QStringList named;
        for (const AlbumEntry& entry : entries)
            if (entry.counter > 0)
                named << entry.fileName;
        QCOMPARE(named, (QStringList{missing, notRandom, broken, second, first}));
    }

    void sameSecondOrderedByCounter()
    {
        const QString run = newRun();
        PartyAlbum album(run, portraitFolder(run));
        for (int counter : {9, 11, 10})
            QVERIFY(!takePhoto(album, run, QStringLiteral("22:00:00"), counter, QStringLiteral("A"),
                               QString::number(counter), false)
                         .isEmpty());
        const QList<AlbumEntry> entries = album.entries();
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries.at(0).counter, 11);
        QCOMPARE(entries.at(1).counter, 10);
        QCOMPARE(entries.at(2).counter, 9);
    }

    void pageShowsEveryEntry()
    {
        const QString run = newRun();
        PartyAlbum album(run, portraitFolder(run));
        QCOMPARE(album.pagePath(), run + QStringLiteral("index.html"));
        const QString wish = takePhoto(album, run, QStringLiteral("21:03:07"), 1, QStringLiteral("ABBA"),
                                       QStringLiteral("Waterloo"), false);
        QVERIFY(writePhotoComment(QFile::encodeName(portraitFolder(run) + wish).toStdString(), "Dancing!"));
        namePortrait(album, QStringLiteral("21:07:45"), 2, QStringLiteral("Blur"), QStringLiteral("Song 2"),
                     true);
        QVERIFY(album.rebuild());

        const QString page = vimotest::readTextFile(album.pagePath());
        QVERIFY(page.startsWith(QStringLiteral("<!DOCTYPE html>")));
        QCOMPARE(count(page, QStringLiteral("<article")), 2);
        QCOMPARE(count(page, QStringLiteral("<img ")), 1);
        QVERIFY(page.contains(
            QStringLiteral("src=\"DJ%20portraits/2024-05-01%2021-03-07%20-%20%20%201%20-%20ABBA%20-"
                           "%20Waterloo.jpg\"")));
        QVERIFY(page.contains(QStringLiteral(">21:03:07</time>")));
        QVERIFY(page.contains(QStringLiteral(">21:07:45</time>")));
        QVERIFY(page.contains(QStringLiteral("<blockquote class=\"comment\">Dancing!</blockquote>")));
        QCOMPARE(count(page, QStringLiteral("<blockquote")), 1);
        QCOMPARE(count(page, QStringLiteral("class=\"nophoto\"")), 1);
        QCOMPARE(count(page, QStringLiteral("class=\"pick\"")), 1);
        // Newest first: the missing random pick of 21:07:45 stands before the wish of 21:03:07.
        QVERIFY(page.indexOf(QStringLiteral("Song 2")) < page.indexOf(QStringLiteral("Waterloo")));
        // Replaced atomically: nothing but the page and the portraits are left in the run folder.
        QCOMPARE(QDir(run).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{portraits, QStringLiteral("index.html")}));
    }

    void emptyNightHasAnEmptyAlbum()
    {
        const QString run = newRun();
        PartyAlbum album(run, portraitFolder(run));
        QVERIFY(album.update().result());
        const QString page = vimotest::readTextFile(album.pagePath());
        QCOMPARE(count(page, QStringLiteral("<article")), 0);
        QVERIFY(page.contains(QStringLiteral("class=\"empty\"")));
    }

    void songsAndCommentsAreEscaped_data()
    {
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("markup in every text")
            << "<b>Bold</b>"
            << "<img src=x onerror=alert(1)>"
            << "</blockquote><script>alert(\"hi\")</script>"
            << QStringList{"&lt;b&gt;Bold&lt;/b&gt;", "&lt;img src=x onerror=alert(1)&gt;",
                           "&lt;/blockquote&gt;&lt;script&gt;alert(&quot;hi&quot;)&lt;/script&gt;"};
        QTest::newRow("ampersands and quotes") << "Simon & Garfunkel"
                                               << "\"Cecilia\""
                                               << "Tom & Jerry's \"best\" song"
                                               << QStringList{"Simon &amp; Garfunkel", "&quot;Cecilia&quot;",
                                                              "Tom &amp; Jerry's &quot;best&quot; song"};
        QTest::newRow("font and line break")
            << "<font size=7>Big</font>"
            << "Line\n  7: * Forged"
            << "fine" << QStringList{"&lt;font size=7&gt;Big&lt;/font&gt;", "Line\n  7: * Forged"};
        QTest::newRow("entities stay text")
            << "&amp;"
            << "&lt;3"
            << "&#60;script&#62;" << QStringList{"&amp;amp;", "&amp;lt;3", "&amp;#60;script&amp;#62;"};
    }
    void songsAndCommentsAreEscaped()
    {
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(QString, comment);
        QFETCH(QStringList, expected);
        const QString run = newRun();
        PartyAlbum album(run, portraitFolder(run));
        const QString name =
            takePhoto(album, run, QStringLiteral("23:59:59"), 42, artist, title, false, {10, 20, 30});
        QVERIFY(!name.isEmpty());
        QVERIFY(writePhotoComment(QFile::encodeName(portraitFolder(run) + name).toStdString(),
                                  comment.toStdString()));
        QVERIFY(album.rebuild());
        const QString page = vimotest::readTextFile(album.pagePath());
        for (const QString& text : expected)
            QVERIFY2(page.contains(text), qPrintable(text));
        // Nothing of the guests' texts became markup: the page's own elements are all there is.
        QVERIFY(!page.contains(QStringLiteral("<script")));
        QVERIFY(!page.contains(QStringLiteral("<b>")));
        QVERIFY(!page.contains(QStringLiteral("<font")));
        QCOMPARE(count(page, QStringLiteral("<img ")), 1);
        QCOMPARE(count(page, QStringLiteral("<blockquote")), 1);
        QCOMPARE(count(page, QStringLiteral("</blockquote>")), 1);
    }

    void photoLinksSurviveSpecialCharacters()
    {
        const QString run = newRun();
        PartyAlbum album(run, portraitFolder(run));
        const QString name = takePhoto(album, run, QStringLiteral("01:02:03"), 8,
                                       QStringLiteral("50% #1 & Co's"), QStringLiteral("Ça va?"), false);
        QVERIFY(!name.isEmpty());
        QVERIFY(album.rebuild());
        const QString page = vimotest::readTextFile(album.pagePath());
        const QRegularExpressionMatch link =
            QRegularExpression(QStringLiteral("<img class=\"photo\" src=\"([^\"]*)\"")).match(page);
        QVERIFY(link.hasMatch());
        QVERIFY(!link.captured(1).contains(QLatin1Char('#')));
        QVERIFY(!link.captured(1).contains(QLatin1Char('&')));
        // The link leads to the photo on disk.
        const QString target = QUrl::fromPercentEncoding(link.captured(1).toUtf8());
        QVERIFY(QFileInfo::exists(run + target));
        QCOMPARE(QFileInfo(run + target).fileName(), name);
    }

    void deletedPhotoKeepsItsEntry()
    {
        const QString run = newRun();
        PartyAlbum album(run, portraitFolder(run));
        const QString kept = takePhoto(album, run, QStringLiteral("20:30:00"), 1, QStringLiteral("Kept"),
                                       QStringLiteral("Song"), false);
        const QString gone = takePhoto(album, run, QStringLiteral("20:35:00"), 2, QStringLiteral("Gone"),
                                       QStringLiteral("Song"), false);
        QVERIFY(album.rebuild());
        QCOMPARE(count(vimotest::readTextFile(album.pagePath()), QStringLiteral("<img ")), 2);
        QVERIFY(QFile::remove(portraitFolder(run) + gone));
        QVERIFY(album.rebuild());
        const QString page = vimotest::readTextFile(album.pagePath());
        QCOMPARE(count(page, QStringLiteral("<article")), 2);
        QCOMPARE(count(page, QStringLiteral("<img ")), 1);
        QCOMPARE(count(page, QStringLiteral("class=\"nophoto\"")), 1);
        QVERIFY(page.contains(QStringLiteral("<span class=\"artist\">Gone</span>")));
        QVERIFY(page.contains(QString(QUrl::toPercentEncoding(kept))));
    }

    void updateWaitsForThePhotoJob()
    {
        const QString run = newRun();
        PartyAlbum album(run, portraitFolder(run));
        const AlbumEntry known = portrait(QStringLiteral("22:10:00"), 1, QStringLiteral("Moby"),
                                          QStringLiteral("Porcelain"), false);
        const QString name = known.fileName;
        QSemaphore gate;
        const QString path = portraitFolder(run) + name;
        // A snapshot job that writes its photo only when the test lets it.
        const QFuture<void> photoJob = QtConcurrent::run([&gate, path]() {
            gate.acquire();
            writePhoto(path, {0, 0, 200});
        });
        QFuture<bool> update = album.portraitStarted(known, photoJob);
        QVERIFY(!update.isFinished());
        gate.release();
        QVERIFY(update.result());
        const QString page = vimotest::readTextFile(album.pagePath());
        QCOMPARE(count(page, QStringLiteral("<img ")), 1);
        QCOMPARE(count(page, QStringLiteral("class=\"nophoto\"")), 0);
    }

    void commentReachesThePage()
    {
        const QString run = newRun();
        PartyAlbum album(run, portraitFolder(run));
        const QString name = takePhoto(album, run, QStringLiteral("23:00:00"), 1, QStringLiteral("Robyn"),
                                       QStringLiteral("Dancing On My Own"), false);
        QVERIFY(album.update().result());
        QCOMPARE(count(vimotest::readTextFile(album.pagePath()), QStringLiteral("<blockquote")), 0);
        // The same photo, now with the guest's comment: the album reads it again.
        QVERIFY(
            writePhotoComment(QFile::encodeName(portraitFolder(run) + name).toStdString(), "Best night!"));
        QVERIFY(album.update().result());
        QVERIFY(vimotest::readTextFile(album.pagePath())
                    .contains(QStringLiteral("<blockquote class=\"comment\">Best night!</blockquote>")));
    }

    void guestsCommentFromThePhotoWindowReachesThePage()
    {
        const QString run = newRun();
        PartyAlbum album(run, portraitFolder(run));
        const QString name = takePhoto(album, run, QStringLiteral("23:10:00"), 1, QStringLiteral("Moloko"),
                                       QStringLiteral("Sing It Back"), false);
        QVERIFY(album.update().result());
        QTableWidget table;
        table.resize(1000, 500);
        table.setColumnCount(4);
        QList<QFuture<bool>> updates;
        const auto typeComment = [&](const QString& comment) {
            Floater entry(portraitFolder(run) + name, false, &table, 1);
            QObject::connect(&entry, &Floater::commentWritten, [&]() { updates << album.update(); });
            entry.findChild<QLineEdit*>(QStringLiteral("lineEdit"))->setText(comment);
            QTest::mouseClick(entry.findChild<QPushButton*>(QStringLiteral("pushButton")), Qt::LeftButton);
        };
        typeComment(QStringLiteral("Cheers from table 3!"));
        QCOMPARE(updates.size(), 1);
        QVERIFY(updates.first().result());
        QVERIFY(
            vimotest::readTextFile(album.pagePath())
                .contains(QStringLiteral("<blockquote class=\"comment\">Cheers from table 3!</blockquote>")));
        // A photo keeps its first comment: the second is refused, and the album is not touched for it.
        typeComment(QStringLiteral("Overwritten?"));
        QCOMPARE(updates.size(), 1);
    }

    void manyUpdatesEndWithTheLastState()
    {
        const QString run = newRun();
        PartyAlbum album(run, portraitFolder(run));
        QList<QFuture<bool>> updates;
        for (int counter = 1; counter <= 20; ++counter) {
            QVERIFY(!takePhoto(album, run, QStringLiteral("23:30:%1").arg(counter, 2, 10, QLatin1Char('0')),
                               counter, QStringLiteral("Artist"), QStringLiteral("Song %1").arg(counter),
                               false)
                         .isEmpty());
            updates.append(album.update());
        }
        for (QFuture<bool>& update : updates)
            QVERIFY(update.result());
        QCOMPARE(count(vimotest::readTextFile(album.pagePath()), QStringLiteral("<img ")), 20);
    }

    void unwritablePageIsLogged()
    {
        // A run folder that is a file: the page cannot be made there, whoever runs the test.
        const QString blocker = scratch.filePath(QStringLiteral("not a folder"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        PartyAlbum album(blocker + QLatin1Char('/'), scratch.filePath(QStringLiteral("nowhere/")));
        QVERIFY(!album.rebuild());
        const QString log = vimotest::readTextFile(logFilePath());
        QVERIFY(log.contains(QStringLiteral("The party album ") + QDir::toNativeSeparators(album.pagePath()) +
                             QStringLiteral(" could not be written.")));
    }

    void browserShowsPhotosAndComments()
    {
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty())
            QSKIP("chromium is not installed (scripts/setup installs it)");
        const QString run = newRun();
        PartyAlbum album(run, portraitFolder(run));
        // Pure colours (BGR), so each photo can be found in the screenshot.
        const QString red = takePhoto(album, run, QStringLiteral("21:00:00"), 1, QStringLiteral("Red Artist"),
                                      QStringLiteral("Red Song"), false, {0, 0, 255});
        takePhoto(album, run, QStringLiteral("21:04:00"), 2, QStringLiteral("Green Artist"),
                  QStringLiteral("Green Song"), true, {0, 255, 0});
        const QString blue =
            takePhoto(album, run, QStringLiteral("21:08:00"), 3, QStringLiteral("Blue & <Co>"),
                      QStringLiteral("Blue Song"), false, {255, 0, 0});
        namePortrait(album, QStringLiteral("21:12:00"), 4, QStringLiteral("Lost"), QStringLiteral("Frame"),
                     false);
        QVERIFY(writePhotoComment(QFile::encodeName(portraitFolder(run) + red).toStdString(),
                                  "What a night, thank you!"));
        QVERIFY(
            writePhotoComment(QFile::encodeName(portraitFolder(run) + blue).toStdString(), "<3 this song"));
        QVERIFY(album.rebuild());

        QTemporaryDir profile;
        const QStringList common{QStringLiteral("--headless"),
                                 QStringLiteral("--no-sandbox"),
                                 QStringLiteral("--disable-gpu"),
                                 QStringLiteral("--disable-background-networking"),
                                 QStringLiteral("--disable-component-update"),
                                 QStringLiteral("--disable-sync"),
                                 QStringLiteral("--no-first-run"),
                                 QStringLiteral("--hide-scrollbars"),
                                 QStringLiteral("--user-data-dir=") + profile.path(),
                                 QStringLiteral("--window-size=1600,1000")};
        const QString url = QUrl::fromLocalFile(album.pagePath()).toString();

        QProcess dump;
        dump.start(chromium, common + QStringList{QStringLiteral("--dump-dom"), url});
        QVERIFY(dump.waitForFinished(120000));
        const QString dom = QString::fromUtf8(dump.readAllStandardOutput());
        QCOMPARE(count(dom, QStringLiteral("<article")), 4);
        QCOMPARE(count(dom, QStringLiteral("<img ")), 3);
        QVERIFY(dom.contains(QStringLiteral("What a night, thank you!")));
        QVERIFY(dom.contains(QStringLiteral("&lt;3 this song")));
        QVERIFY(dom.contains(QStringLiteral("Blue &amp; &lt;Co&gt;")));
        QVERIFY(!dom.contains(QStringLiteral("<Co>")));

        const QString shot = profile.filePath(QStringLiteral("album.png"));
        QProcess screenshot;
        screenshot.start(chromium, common + QStringList{QStringLiteral("--screenshot=") + shot, url});
        QVERIFY(screenshot.waitForFinished(120000));
        const QImage image(shot);
        QVERIFY2(!image.isNull(), qPrintable(QString::fromUtf8(screenshot.readAllStandardError())));
        // Each photo is drawn 340 pixels wide and 272 high: well over 50,000 pixels of its colour.
        const ColourArea redPhoto = colourArea(image, Qt::red, 24);
        const ColourArea greenPhoto = colourArea(image, Qt::green, 24);
        const ColourArea bluePhoto = colourArea(image, Qt::blue, 24);
        for (const ColourArea& photo : {redPhoto, greenPhoto, bluePhoto})
            QVERIFY(photo.pixels > 50000);
        // The missing photo's place holder.
        QVERIFY(colourArea(image, QColor(0x3a, 0x3a, 0x48), 0).pixels > 50000);
        // Below the red and the blue photo a comment box with text in it; below the green one none.
        const QColor commentColour(0xff, 0xe9, 0x7a);
        const auto commentBelow = [&](const ColourArea& photo) {
            return colourArea(image, commentColour, 0,
                              QRect(photo.bounds.left(), photo.bounds.bottom(), photo.bounds.width(),
                                    image.height() - photo.bounds.bottom()));
        };
        for (const ColourArea& photo : {redPhoto, bluePhoto}) {
            const ColourArea comment = commentBelow(photo);
            QVERIFY(comment.pixels > 3000);
            QVERIFY(darkPixelsIn(image, comment.bounds) > 100);
        }
        QCOMPARE(commentBelow(greenPhoto).pixels, 0);
    }
};

VIMO_TEST_MAIN(TestPartyAlbum)
#include "tst_partyalbum.moc"
