// SPDX-License-Identifier: GPL-3.0-or-later
// Files from anywhere, added by the window's own adding job together with good songs: every broken or
// strange entry is refused with a line in the log or handled, every good song arrives, nothing hangs,
// and a huge picture inside a tag costs no memory. Drops take only files of this machine.
#include "base/runlog.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/PlayQueue.h"
#include "queuesupport.h"
#include "tags/coverart.h"
#include "testsupport.h"
#include "ui/mainwindowimpl.h"
#include "windowsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QUrl>
#include <QtEndian>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using vimotest::fileBytes;

namespace {

constexpr int jobTimeoutMs = 120000;

// ---- Song files, byte by byte ----

QByteArray textFrame(const char* id, const QString& text)
{
    const QByteArray data = QByteArray(1, '\0') + text.toLatin1();
    QByteArray frame(id, 4);
    frame.resize(10);
    qToBigEndian<quint32>(quint32(data.size()), frame.data() + 4);
    frame[8] = frame[9] = 0;
    return frame + data;
}

QByteArray synchsafe(quint32 n)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((n >> (7 * (3 - i))) & 0x7F);
    return bytes;
}

// An ID3v2.3 tag of the frames, with `extra` more bytes announced for frames written behind it.
QByteArray tag(const QByteArray& frames, quint32 extra = 0)
{
    return QByteArray("ID3\x03\x00\x00", 6) + synchsafe(quint32(frames.size()) + extra) + frames;
}

// One second of MPEG audio without any tag.
QByteArray audio()
{
    return fileBytes(vimotest::fixturesDirectory() + QStringLiteral("/library/no-tags.mp3"));
}

QByteArray song(const QString& title, const QString& artist)
{
    return tag(textFrame("TIT2", title) + textFrame("TPE1", artist)) + audio();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A song whose tag carries a picture of `pictureBytes` random bytes, written in pieces.
bool writeSongWithPicture(const QString& path, const QString& title, const QString& artist,
                          qint64 pictureBytes)
{
    const QByteArray texts = textFrame("TIT2", title) + textFrame("TPE1", artist);
    const QByteArray pictureHead = QByteArray("\0image/jpeg\0\x03\0", 14);
    QByteArray pictureFrame("APIC\0\0\0\0\0\0", 10);
    qToBigEndian<quint32>(quint32(pictureHead.size() + pictureBytes), pictureFrame.data() + 4);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(tag(texts, quint32(pictureFrame.size() + pictureHead.size() + pictureBytes)));
    file.write(pictureFrame + pictureHead);
    QByteArray piece(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(42);
    for (qint64 written = 0; written < pictureBytes; written += piece.size()) {
        random.fillRange(reinterpret_cast<quint32*>(piece.data()), piece.size() / 4);
        file.write(piece.constData(), qMin<qint64>(piece.size(), pictureBytes - written));
    }
    return file.write(audio()) > 0 && file.flush();
}

// A song whose title frame is compressed with zlib; qCompress puts the inflated size in front, as an
// ID3v2.3 compressed frame needs.
QByteArray songWithCompressedTitle(const QString& title, const QString& artist)
{
    const QByteArray packed = qCompress(QByteArray(1, '\0') + title.toLatin1());
    QByteArray frame("TIT2\0\0\0\0\0\x80", 10);
    qToBigEndian<quint32>(quint32(packed.size()), frame.data() + 4);
    return tag(frame + packed + textFrame("TPE1", artist)) + audio();
}

// ---- Pictures ----

quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(type + data), crc.data());
    return chunk + type + data + crc;
}

// A PNG whose header claims `size`, with a few bytes of picture behind it.
QByteArray pngClaiming(const QSize& size)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(quint32(size.width()), header.data());
    qToBigEndian<quint32>(quint32(size.height()), header.data() + 4);
    header[8] = 8; // bits a channel
    header[9] = 6; // RGBA
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", qCompress(QByteArray(4096, '\0')).mid(4)) + pngChunk("IEND", QByteArray());
}

// A real small JPEG whose frame header has been made to claim `size`.
QByteArray jpegClaiming(const QSize& size)
{
    QByteArray jpeg = fileBytes(vimotest::fixturesDirectory() + QStringLiteral("/covers/cover/Cover.JPG"));
    const int frame = jpeg.indexOf("\xFF\xC0");
    if (frame < 0)
        return QByteArray();
    qToBigEndian<quint16>(quint16(size.height()), jpeg.data() + frame + 5);
    qToBigEndian<quint16>(quint16(size.width()), jpeg.data() + frame + 7);
    return jpeg;
}

// A song whose tag claims 256 MB, its picture frame almost all of it, in a file that long (a hole).
QByteArray songWithGigantic(quint32 frameBytes)
{
    QByteArray pictureFrame("APIC\0\0\0\0\0\0", 10);
    qToBigEndian<quint32>(frameBytes, pictureFrame.data() + 4);
    const QByteArray texts =
        textFrame("TIT2", QStringLiteral("Gigantic")) + textFrame("TPE1", QStringLiteral("Tag Band"));
    return QByteArray("ID3\x03\x00\x00", 6) + synchsafe(0x0FFFFFFF) + texts + pictureFrame +
           QByteArray("\0image/jpeg\0\x03\0\xFF\xD8\xFF", 17);
}

// A FLAC stream whose picture block claims 16 MB, in a file of a few bytes.
QByteArray flacClaimingPicture()
{
    QByteArray streamInfo(4 + 34, '\0');
    streamInfo[3] = 34;
    QByteArray picture("\x86\xFF\xFF\xFF\0\0\0\x03", 8);
    return QByteArray("fLaC") + streamInfo + picture;
}

// ---- The log ----

QString logText()
{
    return vimotest::readTextFile(logFilePath());
}

int occurrences(const QString& text, const QString& what)
{
    return text.count(what);
}

QString refusalOf(const QString& path)
{
    return QStringLiteral("Reading ID3 tags of file: ") + path + QStringLiteral(" ... ");
}

// ---- Memory ----

// A field of /proc/self/status in kB, -1 when it cannot be read.
qint64 statusKilobytes(const QString& field)
{
    const QString status = vimotest::readTextFile(QStringLiteral("/proc/self/status"));
    for (const QString& line : status.split(QLatin1Char('\n'))) {
        if (line.startsWith(field + QLatin1Char(':')))
            return line.section(QLatin1Char(':'), 1).trimmed().section(QLatin1Char(' '), 0, 0).toLongLong();
    }
    return -1;
}

// Makes the peak resident size start again from the present one.
bool resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

// ---- The window ----

QString key(const QString& artist, const QString& title)
{
    return (artist + QLatin1Char('\n') + title).toLower();
}

// What a tool tip shows: Qt renders it as rich text when it looks like markup, and as itself otherwise.
QString shownToolTip(const QString& toolTip)
{
    if (!Qt::mightBeRichText(toolTip))
        return toolTip;
    QTextDocument shown;
    shown.setHtml(toolTip);
    return shown.toPlainText();
}

// Every cell of `table` that shows `text`.
QList<QTableWidgetItem*> cellsShowing(const QTableWidget* table, const QString& text)
{
    QList<QTableWidgetItem*> cells;
    for (int row = 0; row < table->rowCount(); ++row)
        for (int column = 0; column < table->columnCount(); ++column)
            if (QTableWidgetItem* cell = table->item(row, column); cell && cell->text() == text)
                cells << cell;
    return cells;
}

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT

    QTemporaryDir place;
    std::unique_ptr<MainWindow> window;

    QString path(const QString& name) const { return place.filePath(name); }

    // Waits for the job that `start` starts to end, and returns what it added to the log.
    QString runJob(const std::function<void()>& start)
    {
        const QString ended = QStringLiteral("Adding of files has finished.");
        const int offset = logText().size();
        const int endsBefore = occurrences(logText(), ended);
        start();
        if (!QTest::qWaitFor([&] { return occurrences(logText(), ended) > endsBefore; }, jobTimeoutMs))
            return QString();
        QCoreApplication::processEvents();
        return logText().mid(offset);
    }

    bool has(const QString& artist, const QString& title) const
    {
        return window->trackLibrary() && window->trackLibrary()->findBySearchKey(key(artist, title));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(place.isValid());
        QVERIFY(audio().size() > 500);
        window = vimotest::openMainWindow();
        QVERIFY(!window->initializationFailed());
    }

    void cleanupTestCase() { window.reset(); }

    void oneJobOfHostileAndGoodFiles()
    {
        QVERIFY(QDir().mkpath(path("party")));
        const QString party = path("party") + QLatin1Char('/');

        // Good songs, some of them strange.
        QVERIFY(writeFile(party + "yesterday.mp3", song("Yesterday", "The Beatles")));
        QVERIFY(writeFile(party + "Line\nBreak.mp3", song("Newline Name", "Line Breakers")));
        QVERIFY(
            writeSongWithPicture(party + "big-picture.mp3", "Big Picture", "Cover Band", 50 * 1024 * 1024));
        QVERIFY(
            writeFile(party + "compressed-title.mp3", songWithCompressedTitle("Packed Title", "Zlib Band")));
        // A preallocated or half-finished download: a gigabyte of zeros (a hole, no disk space) behind.
        const QByteArray zeroTailed = song("Zero Tail", "Download Band");
        QVERIFY(writeFile(party + "zero-tail.mp3", zeroTailed));
        QVERIFY(QFile::resize(party + "zero-tail.mp3", zeroTailed.size() + (qint64(1) << 30)));
        // Tags that common players read: a UTF-8 title with a byte that is no UTF-8, sizes written as plain
        // numbers where synchsafe ones belong.
        const QString library = vimotest::fixturesDirectory() + QStringLiteral("/library/");
        QVERIFY(QFile::copy(library + "pair-invalid-utf8-v24.mp3", party + "invalid-utf8-v24.mp3"));
        QVERIFY(QFile::copy(library + "pair-plain-sizes-v24.mp3", party + "plain-sizes.mp3"));
        const QByteArray cut = song("Cut Short", "Truncators");
        QVERIFY(writeFile(party + "cut-audio.mp3", cut.left(cut.size() - 333)));
        QVERIFY(QDir().mkpath(party + "x.mp3"));
        QVERIFY(writeFile(party + "x.mp3/inside.mp3", song("Inside A Folder", "Folder Band")));
        // A name that is no UTF-8: Qt gives it back only when the local encoding takes every byte.
        const QByteArray badName = QFile::encodeName(party) + "bad-\xff\xfe.mp3";
        const int badFile = ::open(badName.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(badFile >= 0);
        const QByteArray badSong = song("Bad Bytes", "Encoding Band");
        QCOMPARE(::write(badFile, badSong.constData(), size_t(badSong.size())), ssize_t(badSong.size()));
        ::close(badFile);
        const bool badNameRoundTrips = QFile::encodeName(QFile::decodeName(badName)) == badName;

        // Broken files.
        QVERIFY(writeFile(party + "empty.mp3", QByteArray()));
        QVERIFY(writeFile(party + "empty\nlines.mp3", QByteArray()));
        QVERIFY(writeFile(party + "truncated-in-tag.mp3", song("Half Tag", "Cut Band").left(24)));
        QByteArray oversized = song("Tag Too Big", "Size Band");
        oversized.replace(6, 4, synchsafe(10 * 1024 * 1024));
        QVERIFY(writeFile(party + "tag-larger-than-file.mp3", oversized));
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QVERIFY(writeFile(party + "random.mp3", noise));

        // Entries a folder scan passes by: a FIFO, symbolic links in a loop, a link to a good song.
        QCOMPARE(::mkfifo(QFile::encodeName(party + "fifo.mp3").constData(), 0644), 0);
        QVERIFY(QDir().mkpath(party + "loop"));
        QVERIFY(QFile::link(QStringLiteral(".."), party + "loop/again"));
        QVERIFY(QFile::link(party + "loop-b.mp3", party + "loop-a.mp3"));
        QVERIFY(QFile::link(party + "loop-a.mp3", party + "loop-b.mp3"));
        QVERIFY(QFile::link(party + "yesterday.mp3", party + "link-to-yesterday.mp3"));

        // Neither the picture nor anything else of a file is held whole in memory while it is read.
        QVERIFY(resetPeakMemory());
        const qint64 residentBefore = statusKilobytes(QStringLiteral("VmRSS"));
        QVERIFY(residentBefore > 0);
        const QString log = runJob([&] { window->addFolder(QDir(party)); });
        QVERIFY2(!log.isEmpty(), "the job did not end");
        const qint64 peakGrowth = statusKilobytes(QStringLiteral("VmHWM")) - residentBefore;
        QVERIFY2(peakGrowth < 40 * 1024,
                 qPrintable(QStringLiteral("%1 kB more at the peak").arg(peakGrowth)));

        QVERIFY(has("The Beatles", "Yesterday"));
        QVERIFY(has("Line Breakers", "Newline Name"));
        QVERIFY(has("Cover Band", "Big Picture"));
        QVERIFY(has("Zlib Band", "Packed Title"));
        QVERIFY(has("Truncators", "Cut Short"));
        QVERIFY(has("Download Band", "Zero Tail"));
        QVERIFY(has("Folder Band", "Inside A Folder"));
        QVERIFY(has("Bad Byte", QStringLiteral("Caf\uFFFD Noir")));
        QVERIFY(has("Old Tagger", "Plain Size"));
        QCOMPARE(has("Encoding Band", "Bad Bytes"), badNameRoundTrips);
        QCOMPARE(window->trackLibrary()->trackCount(), badNameRoundTrips ? 10 : 9);

        // A line break in a name would forge a line of its own in the log: it is logged as a space.
        const QStringList refused{party + "empty.mp3", party + "empty lines.mp3",
                                  party + "truncated-in-tag.mp3", party + "tag-larger-than-file.mp3",
                                  party + "random.mp3"};
        for (const QString& file : refused)
            QVERIFY2(occurrences(log, refusalOf(file)) == 1, qPrintable(file + QStringLiteral("\n") + log));
        QVERIFY(!log.contains(QStringLiteral("empty\nlines")));
        // A name the scan cannot give back is left out by the scan itself, with its line.
        if (!badNameRoundTrips)
            QVERIFY2(log.contains(refusalOf(QFile::decodeName(badName)) +
                                  QStringLiteral("the file cannot be read.")),
                     qPrintable(log));
        QCOMPARE(occurrences(log, QStringLiteral("Reading ID3 tags of file: ")),
                 refused.size() + (badNameRoundTrips ? 0 : 1));
        QVERIFY2(
            log.contains(QString::number(refused.size()) +
                         QStringLiteral(" files were not imported because they have no artist and title")),
            qPrintable(log));
        for (const char* passedBy :
             {"fifo.mp3", "loop-a.mp3", "loop-b.mp3", "again", "link-to-yesterday.mp3"})
            QVERIFY2(!log.contains(QLatin1String(passedBy)), passedBy);
    }

    // A song's cover is read from whatever lies in its tags and beside it: a picture that claims too much
    // or does not decode is skipped with its line, nothing of it is held in memory, and the song has no
    // cover.
    void hostileCovers_data()
    {
        QTest::addColumn<QString>("songName");
        QTest::addColumn<QByteArray>("songBytes");
        QTest::addColumn<qint64>("songLength");
        QTest::addColumn<QByteArray>("beside");
        QTest::addColumn<QString>("skipped");
        QTest::addColumn<QString>("reason");
        const QByteArray plain = song("Plain", "Cover Band");
        QTest::newRow("huge JPEG beside")
            << "song.mp3" << plain << qint64(0) << jpegClaiming(QSize(20000, 20000)) << "cover.jpg"
            << "it is too large.";
        QTest::newRow("huge PNG beside")
            << "song.mp3" << plain << qint64(0) << pngClaiming(QSize(20000, 20000)) << "cover.jpg"
            << "it is too large.";
        QByteArray broken("\xFF\xD8\xFF\xE0", 4);
        broken += QByteArray(4096, '\x5A');
        QTest::newRow("broken picture beside") << "song.mp3" << plain << qint64(0) << broken << "cover.jpg"
                                               << "it cannot be read.";
        QTest::newRow("picture tag of gigabytes") << "song.mp3" << songWithGigantic(0xFFFFFFF0)
                                                  << qint64(300) * 1024 * 1024 << QByteArray() << "song.mp3"
                                                  << "it is too large.";
        QTest::newRow("picture in a tiny file")
            << "song.mp3" << songWithGigantic(1U << 30) << qint64(0) << QByteArray() << "song.mp3"
            << "it is too large.";
        QTest::newRow("FLAC picture beyond its file")
            << "song.flac" << flacClaimingPicture() << qint64(0) << QByteArray() << "song.flac"
            << "it is too large.";
    }

    void hostileCovers()
    {
        QFETCH(QString, songName);
        QFETCH(QByteArray, songBytes);
        QFETCH(qint64, songLength);
        QFETCH(QByteArray, beside);
        QFETCH(QString, skipped);
        QFETCH(QString, reason);
        QVERIFY(!songBytes.isEmpty());
        const QString folder = path(QStringLiteral("covers/") + QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString songPath = folder + QLatin1Char('/') + songName;
        QVERIFY(writeFile(songPath, songBytes));
        if (songLength > 0)
            QVERIFY(QFile::resize(songPath, songLength));
        if (!beside.isEmpty())
            QVERIFY(writeFile(folder + QStringLiteral("/cover.jpg"), beside));

        QVERIFY(resetPeakMemory());
        const qint64 residentBefore = statusKilobytes(QStringLiteral("VmRSS"));
        const int offset = logText().size();
        const CoverArt art = readCoverArt(songPath, QSize(512, 512));
        const qint64 peakGrowth = statusKilobytes(QStringLiteral("VmHWM")) - residentBefore;
        QVERIFY2(peakGrowth < 40 * 1024,
                 qPrintable(QStringLiteral("%1 kB more at the peak").arg(peakGrowth)));
        QVERIFY(art.image.isNull());
        QCOMPARE(int(art.source), int(CoverSource::None));
        const QString log = logText().mid(offset);
        QVERIFY2(log.contains(QStringLiteral("Skipped the cover picture of ") + folder + QLatin1Char('/') +
                              skipped + QStringLiteral(": ") + reason),
                 qPrintable(log));
    }

    // The formats beside MP3, damaged or hostile as the fixture maker leaves them: each is read as far as it
    // is sound or refused with its reason, and none costs the memory its pictures or sizes claim.
    void hostileFilesOfEveryFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title"); // empty: refused with `reason`
        QTest::addColumn<QString>("reason");
        const QString failed = QStringLiteral("reading the music data failed.");
        QTest::newRow("FLAC with three pictures of 16 MB") << "read-huge-pictures.flac"
                                                           << "Tone as flac" << QString();
        QTest::newRow("MP4 with a cover of 48 MB") << "read-huge-cover.m4a"
                                                   << "Tone as aac" << QString();
        QTest::newRow("WAV with a picture of 24 MB in its ID3 chunk") << "read-id3-picture.wav"
                                                                      << "Tone in ID3" << QString();
        QTest::newRow("MP4 item claiming 4 GB") << "read-item-claims-gigabytes.m4a"
                                                << "Tone as aac" << QString();
        QTest::newRow("FLAC comment claiming 4 GB") << "read-field-claims-gigabytes.flac"
                                                    << "Tone as flac" << QString();
        QTest::newRow("WAV data claiming 4 GB") << "read-data-claims-gigabytes.wav"
                                                << "Tone as wav" << QString();
        QTest::newRow("Opus granule of a billion") << "read-billion-granule.opus"
                                                   << "Tone as opus" << QString();
        QTest::newRow("FLAC cut short") << "read-cut-flac.flac"
                                        << "Tone as flac" << QString();
        QTest::newRow("MP4 cut short") << "read-cut-alac.m4a"
                                       << "Tone as alac" << QString();
        QTest::newRow("MP4 box of 64-bit size 0") << "read-box-size-zero.m4a" << QString() << failed;
        QTest::newRow("MP4 track box of size 4") << "read-box-size-four.m4a" << QString() << failed;
        QTest::newRow("MP4 of a video") << "read-video.m4a" << QString() << failed;
        QTest::newRow("Ogg of no bytes") << "read-empty-opus.opus" << QString() << failed;
    }

    void hostileFilesOfEveryFormat()
    {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QFETCH(QString, reason);
        const QString file = vimotest::fixturesDirectory() + QStringLiteral("/formats/") + name;
        QVERIFY(QFile::exists(file));
        QVERIFY(resetPeakMemory());
        const qint64 residentBefore = statusKilobytes(QStringLiteral("VmRSS"));
        const QString log = runJob([&] { window->addFileList({file}); });
        QVERIFY2(!log.isEmpty(), "the job did not end");
        const qint64 peakGrowth = statusKilobytes(QStringLiteral("VmHWM")) - residentBefore;
        QVERIFY2(peakGrowth < 40 * 1024,
                 qPrintable(QStringLiteral("%1 kB more at the peak").arg(peakGrowth)));
        if (title.isEmpty()) {
            QVERIFY2(log.contains(refusalOf(file) + reason), qPrintable(log));
        } else {
            QVERIFY2(!log.contains(refusalOf(file)), qPrintable(log));
            QVERIFY(has(QStringLiteral("Format Band"), title));
        }
    }

    void tagsShowAndRecordAsTheirText_data()
    {
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("album");
        QTest::newRow("ordinary tags") << "Plain Band"
                                       << "Plain Song"
                                       << "Greatest Hits";
        QTest::newRow("picture") << "Picture Band"
                                 << "<img src=\"/dev/zero\">"
                                 << "<img src=\"/dev/stdin\">";
        QTest::newRow("font") << "<font size=7>Loud</font>"
                              << "Font Song"
                              << "<font size=7>Big</font>";
        QTest::newRow("entity") << "Entity Band"
                                << "&amp; more"
                                << "&lt;3 &amp; &#60;";
        QTest::newRow("bold") << "<b>Bold</b>"
                              << "Bold Song"
                              << "<b>Album</b>";
        QTest::newRow("line breaks and control characters") << "Esc\x1b[31mape\a Band"
                                                            << "Line\n  7: * Forged\rtoo"
                                                            << "<i>Two</i>\nLines";
    }
    void tagsShowAndRecordAsTheirText()
    {
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(QString, album);
        const QString file = path(QStringLiteral("shown-%1.mp3").arg(QTest::currentDataTag()));
        QVERIFY(writeFile(
            file,
            tag(textFrame("TIT2", title) + textFrame("TPE1", artist) + textFrame("TALB", album)) + audio()));
        QVERIFY(!runJob([&] { window->addFileList({file}); }).isEmpty());
        Track* track = window->trackLibrary()->findBySearchKey(key(artist, title));
        QVERIFY(track);
        QCOMPARE(track->album(), album);

        // The grid: a tool tip never renders a tag as markup, and an ordinary one stays as it was.
        auto* grid = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForLibrary"));
        const QList<QTableWidgetItem*> gridCells = cellsShowing(grid, track->displayText());
        QCOMPARE(gridCells.size(), 1);
        QCOMPARE(shownToolTip(gridCells.first()->toolTip()), track->details());
        if (!Qt::mightBeRichText(track->details()))
            QCOMPARE(gridCells.first()->toolTip(), track->details());

        // The queue and the playlist: the wish shows as its text, and writes one line without controls.
        const int linesBefore = window->queue()->playlistLineCount();
        emit grid->itemActivated(gridCells.first());
        const auto* queueTable = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForQueue"));
        const QList<QTableWidgetItem*> queueCells = cellsShowing(queueTable, track->displayText());
        QCOMPARE(queueCells.size(), 1);
        QVERIFY(queueCells.first()->toolTip().isEmpty() ||
                shownToolTip(queueCells.first()->toolTip()) == track->details());
        const QString expectedLine =
            QString(artist + QStringLiteral(" - ") + title)
                .replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f]")), QStringLiteral(" "));
        QVERIFY(QTest::qWaitFor(
            [&] { return vimotest::readTextFile(window->queue()->playlistPath()).contains(expectedLine); },
            jobTimeoutMs));
        const QString playlist = vimotest::readTextFile(window->queue()->playlistPath());
        QVERIFY(window->queue()->playlistLineCount() > linesBefore);
        QCOMPARE(vimotest::numberedPlaylistLines(playlist).size(), window->queue()->playlistLineCount());
        QVERIFY(!playlist.contains(QRegularExpression(QStringLiteral("[\\x00-\\x09\\x0b-\\x1f]"))));
    }

    void droppedEntriesAndForeignUrls()
    {
        QVERIFY(QDir().mkpath(path("drop/dropped.mp3")));
        const QString drop = path("drop") + QLatin1Char('/');
        QVERIFY(writeFile(drop + "dropped-good.mp3", song("Dropped Song", "Drop Band")));
        QVERIFY(writeFile(drop + "dropped.mp3/in-dropped.mp3", song("In A Dropped Folder", "Drop Band")));
        QVERIFY(writeFile(drop + "notes.txt", "not a song\n"));
        QCOMPARE(::mkfifo(QFile::encodeName(drop + "fifo.mp3").constData(), 0644), 0);
        QVERIFY(QFile::link(drop + "loop-b.mp3", drop + "loop-a.mp3"));
        QVERIFY(QFile::link(drop + "loop-a.mp3", drop + "loop-b.mp3"));
        // A song that a file URL naming a host would reach: "file://tmp/x" reads as the local "//tmp/x".
        QVERIFY(writeFile(drop + "remote.mp3", song("Remote Song", "Remote Band")));
        const QString remotePath = QDir::cleanPath(drop + "remote.mp3");
        const QString host = remotePath.section(QLatin1Char('/'), 1, 1);
        const QString rest = remotePath.section(QLatin1Char('/'), 2);

        const QList<QUrl> urls{QUrl::fromLocalFile(drop + "dropped-good.mp3"),
                               QUrl::fromLocalFile(drop + "dropped.mp3"),
                               QUrl::fromLocalFile(drop + "notes.txt"),
                               QUrl::fromLocalFile(drop + "fifo.mp3"),
                               QUrl::fromLocalFile(drop + "loop-a.mp3"),
                               QUrl(QStringLiteral("http://example.com/web.mp3")),
                               QUrl(QStringLiteral("https://example.com/secure.mp3")),
                               QUrl(QStringLiteral("ftp://example.com/pub/ftp.mp3")),
                               QUrl(QStringLiteral("smb://server/share/smb.mp3")),
                               QUrl(QStringLiteral("file://") + host + QLatin1Char('/') + rest)};
        QMimeData data;
        data.setUrls(urls);
        const QString log = runJob([&] {
            // A drop reaches the widget that took the drag when it entered.
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(window.get(), &enter);
            QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(window.get(), &event);
        });
        QVERIFY2(!log.isEmpty(), "the job did not end");

        QVERIFY(has("Drop Band", "Dropped Song"));
        QVERIFY(has("Drop Band", "In A Dropped Folder"));
        QVERIFY(!has("Remote Band", "Remote Song"));
        QVERIFY(!log.contains(QStringLiteral("remote.mp3")));
        for (const char* foreign : {"web.mp3", "secure.mp3", "ftp.mp3", "smb.mp3"})
            QVERIFY2(!log.contains(QLatin1String(foreign)), foreign);
        // A dropped file is not judged by its name: the text file, the FIFO and the loop each get a line.
        QVERIFY(log.contains(refusalOf(drop + "notes.txt")));
        QVERIFY(
            log.contains(refusalOf(drop + "fifo.mp3") + QStringLiteral("reading the music data failed.")));
        QVERIFY(
            log.contains(refusalOf(drop + "loop-a.mp3") + QStringLiteral("the file could not be found.")));
        QVERIFY2(log.contains(QStringLiteral("3 files were not imported because")), qPrintable(log));
    }

    void fileUnreadableByPermissionIsRefused()
    {
        if (::geteuid() == 0)
            QSKIP("Running as root, whom permissions do not keep from reading; the dropped FIFO stands in "
                  "for an unreadable file.");
        const QString locked = path("locked.mp3");
        QVERIFY(writeFile(locked, song("Locked Song", "Lock Band")));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        const QString log = runJob([&] { window->addFileList({locked}); });
        QVERIFY(log.contains(refusalOf(locked)));
        QVERIFY(!has("Lock Band", "Locked Song"));
    }
};

VIMO_TEST_MAIN(TestHostile)
#include "tst_hostile.moc"
