// SPDX-License-Identifier: GPL-3.0-or-later
// The play queue without the main window: the random index, the hue of waiting songs, the playlist file,
// the photos asked for, and songs whose files are gone, with real songs played through the audio engine.
#include "audio/AllBase.h"
#include "audio/AllBaseBackend.h"
#include "audio/AudioEngine.h"
#include "base/runlog.h"
#include "camera/Snapshot.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/CoverArtKeeper.h"
#include "party/PlayQueue.h"
#include "party/PlaylistFile.h"
#include "party/playingclock.h"
#include "queuesupport.h"
#include "testsupport.h"
#include "ui/QueueView.h"
#include "ui/SongCellIndex.h"
#include "ui/songcells.h"
#include "ui/style.h"

#include <QApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QImage>
#include <QMutex>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QThread>
#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

using vimotest::hueOf;
using vimotest::queueFixture;

namespace {

const int songEndTimeout = 15000;

qint64 fileSize(const QString& path)
{
    return QFileInfo(path).size();
}

// Waits for `done` with the event loop standing still, so that what the audio threads post stays queued.
bool waitHoldingEvents(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(songEndTimeout);
    while (!done() && !deadline.hasExpired())
        QThread::msleep(2);
    return done();
}

} // namespace

// What the main window is to the songs' players: the object whose signal reports a song's end.
class EndReceiver : public QObject
{
    Q_OBJECT

signals:
    void notifyFromBaseThread();
};

// A queue as the main window holds it: a one-row table of five styled cells, a library of real songs
// shown one cell each in a library view, and every song's end delivered queued to the end-of-song step.
class Bench
{
public:
    explicit Bench(const QStringList& files)
    {
        for (int column = 0; column < 5; ++column) {
            auto* cell = new QTableWidgetItem;
            styleTableCell(cell);
            queueTable.setItem(0, column, cell);
        }
        queue = std::make_unique<PlayQueue>(std::make_unique<QueueView>(&queueTable, &libraryCells));
        playlistStart = fileSize(queue->playlistPath());
        logStart = fileSize(logFilePath());
        libraryView.setColumnCount(files.size());
        for (const QString& file : files) {
            auto* track = new Track(file, songEndSync, &receiver);
            tracks << track;
            library.addPendingTrack(track);
        }
        library.mergePending();
        for (int index = 0; index < tracks.size(); ++index) {
            auto* cell = new QTableWidgetItem(tracks.at(index)->displayText());
            libraryView.setItem(0, index, cell);
            libraryCells.add(tracks.at(index), cell, SongState::Free, -1);
            tracks.at(index)->setInGenreFilter(true);
        }
        QObject::connect(
            &receiver, &EndReceiver::notifyFromBaseThread, &receiver,
            [this]() {
                bool again = false;
                queue->songFinished(&library, again);
                allSelectableAgain = allSelectableAgain || again;
            },
            Qt::QueuedConnection);
    }
    // The library deletes the songs it holds.
    ~Bench()
    {
        // Silence what still plays, so no song reports its end to a receiver that is gone.
        for (Track* track : qAsConst(tracks))
            if (track->player())
                track->player()->stop();
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    bool allValid() const
    {
        return std::all_of(tracks.cbegin(), tracks.cend(),
                           [](const Track* track) { return track->isValid(); });
    }
    QTableWidgetItem* libraryCell(const Track* track) const { return libraryCells.cellOf(track); }
    bool enqueue(Track* track) { return queue->enqueue(track, &library); }
    QString playlist() const { return vimotest::textAfter(queue->playlistPath(), playlistStart); }
    QStringList numberedLines() const { return vimotest::numberedPlaylistLines(playlist()); }
    QStringList log() const { return vimotest::logMessagesAfter(logStart); }

    EndReceiver receiver;
    QTableWidget queueTable{1, 5};
    QTableWidget libraryView{1, 1};
    SongCellIndex libraryCells;
    TrackLibrary library{songEndSync, &receiver};
    std::unique_ptr<PlayQueue> queue;
    QList<Track*> tracks;
    qint64 playlistStart = 0;
    qint64 logStart = 0;
    bool allSelectableAgain = false;
};

// Runs of their own, each in a fresh process with its own home: what one program start leaves behind.
int child(const QStringList& arguments)
{
    const QString mode = arguments.value(0);
    vimotest::useHome(arguments.value(1));
    QTableWidget queueTable(1, 5);
    PlayQueue queue(std::make_unique<QueueView>(&queueTable, nullptr));
    if (mode == QLatin1String("write")) {
        Track song(queueFixture(QStringLiteral("dash/dash.mp3")), nullptr, nullptr);
        queue.writePlaylistHeader();
        queue.writePlaylistLine(QStringLiteral("  "), &song);
        queue.writePlaylistLine(QStringLiteral("* "), &song);
    }
    QTextStream(stdout) << "playlist: " << queue.playlistPath() << '\n';
    return 0;
}

QString childPlaylist(const QStringList& arguments)
{
    QString output;
    if (vimotest::runChild(arguments, &output) != 0)
        return QString();
    for (const QString& line : output.split('\n'))
        if (line.startsWith(QLatin1String("playlist: ")))
            return line.mid(10);
    return QString();
}

class TestQueue : public QObject
{
    Q_OBJECT

    AllBaseBackend audio;

private slots:
    void initTestCase()
    {
        QVERIFY(QFileInfo::exists(queueFixture(QStringLiteral("party/amber.mp3"))));
        QVERIFY(audio.init(0));
    }
    void cleanupTestCase() { audio.free(); }

    void randomIndexFromDraw_data()
    {
        QTest::addColumn<quint32>("draw");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("expected");
        QTest::newRow("lowest draw") << 0u << 7 << 0;
        QTest::newRow("highest draw of one") << 4294967295u << 1 << 0;
        QTest::newRow("highest draw gives the last index, not n") << 4294967295u << 7 << 6;
        QTest::newRow("one below the highest") << 4294967294u << 3 << 2;
        // 4294967295 is three times 1431655765: with that divisor the third is exactly 1, with 2^32 it
        // would fall just short of it.
        QTest::newRow("exact third") << 1431655765u << 3 << 1;
        QTest::newRow("just below the third") << 1431655764u << 3 << 0;
        QTest::newRow("just below the half") << 2147483647u << 2 << 0;
        QTest::newRow("the half") << 2147483648u << 2 << 1;
    }
    void randomIndexFromDraw()
    {
        QFETCH(quint32, draw);
        QFETCH(int, n);
        QFETCH(int, expected);
        QCOMPARE(::randomIndexFromDraw(draw, n), expected);
    }

    void randomIndexStaysInRangeAndCoversEveryIndex_data()
    {
        QTest::addColumn<int>("n");
        for (int n : {1, 2, 3, 10, 37})
            QTest::newRow(qPrintable(QString::number(n))) << n;
    }
    void randomIndexStaysInRangeAndCoversEveryIndex()
    {
        QFETCH(int, n);
        QVector<int> hits(n);
        for (int draw = 0; draw < 4000; ++draw) {
            const int index = randomIndex(n);
            QVERIFY2(index >= 0 && index < n, qPrintable(QString::number(index)));
            ++hits[index];
        }
        QVERIFY2(!hits.contains(0), "an index was never drawn");
    }

    // Covers are read for the songs about to play and forgotten, with their files, once a song leaves.
    void coversAreKeptOnlyForTheSongsAboutToPlay()
    {
        auto keeper = std::make_unique<CoverArtKeeper>();
        QMutex askedMutex;
        QStringList asked;
        keeper->reader = [&](const QString& path) {
            QMutexLocker lock(&askedMutex);
            asked << path;
            QImage cover(8, 8, QImage::Format_RGB32);
            cover.fill(Qt::red);
            return path == QStringLiteral("/none.mp3") ? QImage() : cover;
        };
        const auto askedCount = [&]() {
            QMutexLocker lock(&askedMutex);
            return asked.size();
        };
        keeper->follow({QStringLiteral("/a.mp3"), QStringLiteral("/b.mp3"), QStringLiteral("/none.mp3")});
        QTRY_COMPARE(askedCount(), 3);
        QTRY_VERIFY(!keeper->cover(QStringLiteral("/a.mp3")).isNull() &&
                    !keeper->cover(QStringLiteral("/b.mp3")).isNull());
        QVERIFY(keeper->coverJpeg(QStringLiteral("/a.mp3")).startsWith("\xFF\xD8\xFF"));
        const QString file = keeper->coverFile(QStringLiteral("/a.mp3"));
        QVERIFY(QFileInfo(file).isFile());
        QCOMPARE(keeper->coverFile(QStringLiteral("/a.mp3")), file);
        QVERIFY(keeper->coverFile(QStringLiteral("/none.mp3")).isEmpty());

        // The song that left is forgotten with its file; the one that stays is not read again.
        keeper->follow({QStringLiteral("/b.mp3"), QStringLiteral("/c.mp3")});
        QVERIFY(keeper->cover(QStringLiteral("/a.mp3")).isNull());
        QVERIFY(!QFileInfo::exists(file));
        QVERIFY(!keeper->cover(QStringLiteral("/b.mp3")).isNull());
        QTRY_COMPARE(askedCount(), 4);
        QCOMPARE(asked.last(), QStringLiteral("/c.mp3"));

        // At the end the run's cover folder goes as well.
        const QString folder = QFileInfo(keeper->coverFile(QStringLiteral("/b.mp3"))).absolutePath();
        QVERIFY(QFileInfo(folder).isDir());
        keeper.reset();
        QVERIFY(!QFileInfo::exists(folder));
    }

    // The playing song's cover stands behind its text, darkened, white text over it; the next song
    // without a cover has the playing colour again.
    void theHeadShowsItsCoverBehindItsText()
    {
        const QString covers = vimotest::fixturesDirectory() + QStringLiteral("/covers/");
        Bench bench({covers + QStringLiteral("front/song.mp3"), covers + QStringLiteral("none/song.mp3")});
        QVERIFY(bench.allValid());
        Track* withCover = bench.tracks.at(0);
        Track* without = bench.tracks.at(1);
        vimotest::SignalCounter ends(&bench.receiver, &EndReceiver::notifyFromBaseThread);
        QVERIFY(bench.enqueue(withCover));
        QVERIFY(bench.enqueue(without));
        QTableWidgetItem* head = bench.queueTable.item(0, 0);
        QTRY_COMPARE(bench.queueTable.item(0, 0)->background().style(), Qt::TexturePattern);
        head = bench.queueTable.item(0, 0);
        QCOMPARE(head->text(), withCover->displayText());
        QCOMPARE(head->foreground().color(), QColor(Qt::white));
        const QImage shown = head->background().textureImage();
        const QColor middle = shown.pixelColor(shown.width() / 2, shown.height() / 2);
        QVERIFY2(middle.green() > 60 && middle.green() < 140 && middle.red() < 40, qPrintable(middle.name()));
        // Made again for a cell that changed its size.
        bench.queueTable.setColumnWidth(0, bench.queueTable.columnWidth(0) + 40);
        QCOMPARE(head->background().textureImage().width(), bench.queueTable.columnWidth(0));

        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, songEndTimeout);
        QTRY_VERIFY(without->playing());
        head = bench.queueTable.item(0, 0);
        QCOMPARE(head->text(), without->displayText());
        QCOMPARE(head->background().style(), Qt::SolidPattern);
    }

    void waitingHue_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("elapsed");
        QTest::addColumn<double>("headSeconds");
        QTest::addColumn<int>("expected");
        QTest::newRow("next song, 30 s of 120 s") << 1 << 30 << 120.0 << 65;
        QTest::newRow("next song, at the start") << 1 << 0 << 120.0 << 60;
        QTest::newRow("next song, past the measured end") << 1 << 125 << 120.0 << 80;
        QTest::newRow("second place, 30 s of 120 s") << 2 << 30 << 120.0 << 45;
        QTest::newRow("last place, at the start") << 4 << 0 << 200.0 << 0;
        QTest::newRow("last place, nearly at the end") << 4 << 199 << 200.0 << 19;
        QTest::newRow("no head length") << 1 << 30 << 0.0 << 60;
    }
    void waitingHue()
    {
        QFETCH(int, position);
        QFETCH(int, elapsed);
        QFETCH(double, headSeconds);
        QFETCH(int, expected);
        QCOMPARE(::waitingHue(position, 5, elapsed, headSeconds), expected);
    }

    void playingClock_data()
    {
        QTest::addColumn<double>("lengthSeconds");
        QTest::addColumn<qint64>("playedMilliseconds");
        QTest::addColumn<QString>("left");
        QTest::addColumn<int>("permille");
        QTest::newRow("not started yet") << 200.0 << qint64(-1) << "3:20" << 0;
        QTest::newRow("at the start") << 200.0 << qint64(0) << "3:20" << 0;
        QTest::newRow("a started second counts whole") << 200.0 << qint64(1) << "3:20" << 0;
        QTest::newRow("one second played") << 200.0 << qint64(1000) << "3:19" << 5;
        QTest::newRow("half") << 200.0 << qint64(100000) << "1:40" << 500;
        QTest::newRow("the last second") << 200.0 << qint64(199500) << "0:01" << 997;
        QTest::newRow("played out") << 200.0 << qint64(200000) << "0:00" << 1000;
        QTest::newRow("the device ahead of the measured length") << 200.0 << qint64(201000) << "0:00" << 1000;
        QTest::newRow("a fraction of a second long") << 0.4 << qint64(0) << "0:01" << 0;
        QTest::newRow("an hour and more") << 4000.0 << qint64(0) << "66:40" << 0;
        QTest::newRow("length unknown") << 0.0 << qint64(5000) << "" << 0;
    }
    // What is left counts down from the song's whole length to 0:00, and the bar fills with it.
    void playingClock()
    {
        QFETCH(double, lengthSeconds);
        QFETCH(qint64, playedMilliseconds);
        QFETCH(QString, left);
        QFETCH(int, permille);
        const PlayingClock clock = ::playingClock(lengthSeconds, playedMilliseconds);
        QCOMPARE(clock.left, left);
        QCOMPARE(clock.permille, permille);
    }

    void waitingSongsTakeTheirHueFromTheQueue()
    {
        Bench bench({queueFixture(QStringLiteral("wishes/long.mp3")),
                     queueFixture(QStringLiteral("wishes/wish-1.mp3")),
                     queueFixture(QStringLiteral("wishes/wish-2.mp3"))});
        QVERIFY(bench.allValid());
        Track* head = bench.tracks.at(0);
        QCOMPARE(head->seconds(), 120.0);
        QVERIFY(bench.enqueue(head));
        QVERIFY(bench.enqueue(bench.tracks.at(1)));
        QVERIFY(bench.enqueue(bench.tracks.at(2)));
        QCOMPARE(hueOf(bench.libraryCell(head)), 80);
        QCOMPARE(hueOf(bench.queueTable.item(0, 1)), 60);
        QCOMPARE(hueOf(bench.queueTable.item(0, 2)), 40);

        for (int second = 0; second < 30; ++second)
            bench.queue->tick();
        QCOMPARE(bench.queue->secondsElapsed(), 30);
        QCOMPARE(hueOf(bench.queueTable.item(0, 1)), 65);
        QCOMPARE(hueOf(bench.libraryCell(bench.tracks.at(1))), 65);
        QCOMPARE(hueOf(bench.queueTable.item(0, 2)), 45);
        QCOMPARE(bench.libraryCell(bench.tracks.at(2))->foreground().color(), QColor(Qt::black));
        // A grid refresh colours a new cell without knowing the place: the queue tells it.
        QTableWidgetItem fresh(bench.tracks.at(2)->displayText());
        colourSongCells(&fresh, nullptr, bench.tracks.at(2)->state(),
                        bench.queue->waitingHueOf(bench.tracks.at(2)));
        QCOMPARE(hueOf(&fresh), 45);
    }

    void playlistNumbersArePaddedAndSongTextKept()
    {
        const QString path = PlaylistFile::pathForRun();
        const QString name = QFileInfo(path).fileName();
        QVERIFY2(QRegularExpression(QStringLiteral(R"(^Vimo Playlist \d{4}_\d\d_\d\d--\d\d_\d\d\.txt$)"))
                     .match(name)
                     .hasMatch(),
                 qPrintable(name));
        QCOMPARE(QFileInfo(path).absolutePath() + QLatin1Char('/'), runFolder());

        // Other runs of this minute write to the same file.
        const qint64 start = fileSize(path);
        PlaylistFile playlist(path);
        playlist.writeHeader();
        for (int line = 1; line <= 1000; ++line)
            playlist.writeLine(line % 2 ? QStringLiteral("  ") : QStringLiteral("* "),
                               QStringLiteral("Up - Down"), QStringLiteral("Left - Right"));
        QCOMPARE(playlist.lineCount(), 1000);
        playlist.writeNotice(QStringLiteral("skipped by the host: Up - Down - Left - Right"));
        QCOMPARE(playlist.lineCount(), 1000);

        const QString text = vimotest::textAfter(path, start);
        const QStringList lines = text.split('\n');
        QVERIFY(lines.first().startsWith(QLatin1String("The playback started at ")));
        const QDateTime started = QDateTime::fromString(
            lines.first().mid(QStringLiteral("The playback started at ").size()), Qt::TextDate);
        QVERIFY2(qAbs(started.secsTo(QDateTime::currentDateTime())) < 120, qPrintable(lines.first()));
        QCOMPARE(lines.at(1), QStringLiteral("Songs that were selected randomly are marked with *"));
        QCOMPARE(lines.at(2), QString());
        QCOMPARE(lines.at(3), QStringLiteral("  1:   Up - Down - Left - Right"));
        QCOMPARE(lines.at(4), QStringLiteral("  2: * Up - Down - Left - Right"));
        QCOMPARE(lines.at(12), QStringLiteral(" 10: * Up - Down - Left - Right"));
        QCOMPARE(lines.at(102), QStringLiteral("100: * Up - Down - Left - Right"));
        QCOMPARE(lines.at(1002), QStringLiteral("1000: * Up - Down - Left - Right"));
        QVERIFY(text.endsWith(QStringLiteral("1000: * Up - Down - Left - Right\n\n"
                                             " < skipped by the host: Up - Down - Left - Right > \n\n")));
    }

    void aRunWithoutSongsLeavesNoPlaylist()
    {
        QTemporaryDir home;
        const QString playlist = childPlaylist({QStringLiteral("idle"), home.path()});
        QVERIFY(playlist.startsWith(home.path()));
        QVERIFY(QFileInfo(playlist).dir().exists());
        QVERIFY(!QFileInfo::exists(playlist));
    }

    void twoRunsInTheSameMinuteShareOnePlaylist()
    {
        // Should the minute turn between the two runs, they rightly get two files: try again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            QTemporaryDir home;
            const QString first = childPlaylist({QStringLiteral("write"), home.path()});
            const QString second = childPlaylist({QStringLiteral("write"), home.path()});
            QVERIFY(!first.isEmpty());
            if (first != second)
                continue;
            const QString header = QStringLiteral("Songs that were selected randomly are marked with *\n\n"
                                                  "  1:   Up - Down - Left - Right\n"
                                                  "  2: * Up - Down - Left - Right\n");
            const QString text = vimotest::readTextFile(first);
            QCOMPARE(text.count(QStringLiteral("The playback started at ")), 2);
            QCOMPARE(text.count(header), 2);
            QVERIFY(text.endsWith(header));
            QVERIFY(text.startsWith(QLatin1String("The playback started at ")));
            return;
        }
        QFAIL("the two runs never started in the same minute");
    }

    void photosAndMarksFollowWhereTheQueueTakesSongs()
    {
        QTemporaryDir folder;
        const QString video = folder.filePath(QStringLiteral("party.avi"));
        {
            cv::VideoWriter writer(QFile::encodeName(video).toStdString(), cv::CAP_OPENCV_MJPEG,
                                   cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 10, cv::Size(64, 48));
            QVERIFY(writer.isOpened());
            for (int frame = 0; frame < 5; ++frame)
                writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(30 * frame, 90, 160)));
        }
        opencv::Snapshot webcam(video, 64, 48, 90);
        QVERIFY(webcam.isOpened());

        Bench bench({queueFixture(QStringLiteral("party/amber.mp3")),
                     queueFixture(QStringLiteral("party/brass.mp3")),
                     queueFixture(QStringLiteral("party/cinder.mp3"))});
        QVERIFY(bench.allValid());
        Track* first = bench.tracks.at(0);
        Track* wished = bench.tracks.at(1);
        Track* last = bench.tracks.at(2);
        QStringList photos;
        QFuture<void> job;
        int timerStarts = 0;
        bench.queue->setWebcam(&webcam);
        bench.queue->startTimerHook = [&timerStarts]() { ++timerStarts; };
        bench.queue->snapshotHook = [&](bool showComment, const QString& fileName) {
            photos << (showComment ? QStringLiteral("wish: ") : QStringLiteral("random: ")) + fileName;
            opencv::startSnapshotJob(&webcam, job, showComment, folder.path() + QLatin1Char('/'), fileName);
        };
        vimotest::SignalCounter ends(&bench.receiver, &EndReceiver::notifyFromBaseThread);

        QVERIFY(bench.enqueue(first));
        QVERIFY(first->playing());
        QVERIFY(bench.queue->isBusy());
        QVERIFY(bench.queue->hasPlaybackStarted());
        QCOMPARE(timerStarts, 1);
        QVERIFY(bench.queue->preDrawnRandom());
        QVERIFY(bench.queue->preDrawnRandom() != first);
        QVERIFY(bench.enqueue(wished));
        QVERIFY(wished->queued());
        QCOMPARE(bench.queue->photoCount(), 2);
        QCOMPARE(photos.size(), 2);
        QVERIFY(photos.at(0).startsWith(QLatin1String("wish: ")));
        QVERIFY(photos.at(0).endsWith(QLatin1String(" -   1 - Amber Lane - Morning Tide.jpg")));
        QVERIFY(photos.at(1).endsWith(QLatin1String(" -   2 - Brass Harbour - Copper Sky.jpg")));
        QCOMPARE(first->photoFileName(), photos.at(0).mid(6));
        QVERIFY(!first->commentAsked());

        // The waiting wish becomes the head: it was photographed when it was wished, not again.
        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, songEndTimeout);
        QTRY_VERIFY(wished->playing());
        QVERIFY(first->played());
        QCOMPARE(photos.size(), 2);
        QCOMPARE(bench.queueTable.item(0, 0)->text(), wished->displayText());
        QCOMPARE(bench.queueTable.item(0, 1)->text(), QString());

        // The queue runs dry: the last unplayed song is the random pick, photographed as such.
        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 2, songEndTimeout);
        QTRY_VERIFY(last->playing());
        QCOMPARE(photos.size(), 3);
        QVERIFY(photos.at(2).startsWith(QLatin1String("random: ")));
        QVERIFY(photos.at(2).endsWith(QLatin1String(" -   3 - Cinder Road - Paper Moon - (random).jpg")));
        QVERIFY(last->commentAsked());
        QCOMPARE(timerStarts, 1);
        QCOMPARE(bench.numberedLines(), QStringList({QStringLiteral("  1:   Amber Lane - Morning Tide"),
                                                     QStringLiteral("  2:   Brass Harbour - Copper Sky"),
                                                     QStringLiteral("  3: * Cinder Road - Paper Moon")}));
        QVERIFY(bench.playlist().startsWith(QLatin1String("The playback started at ")));
        QCOMPARE(bench.playlist().count(QStringLiteral("The playback started at ")), 1);

        job.waitForFinished();
        for (const QString& photo : qAsConst(photos))
            QVERIFY2(QFileInfo(folder.filePath(photo.mid(photo.indexOf(QLatin1String(": ")) + 2))).size() > 0,
                     qPrintable(photo));
    }

    // The song after the head waits in the engine, armed to start in the head's last sample. A wish made
    // while the pre-drawn random song is armed takes its place and plays next; a wish made after the
    // engine has switched (before the queue has heard of it) waits behind the random song.
    void aWishBeforeTheChangeBeatsThePreDrawnSong_data()
    {
        QTest::addColumn<QString>("moment");
        QTest::newRow("wish before the change") << "before";
        QTest::newRow("wish just after the change") << "after";
        QTest::newRow("the pre-drawn song itself wished") << "drawn";
        QTest::newRow("a genre without the pre-drawn song chosen") << "genre";
    }

    void aWishBeforeTheChangeBeatsThePreDrawnSong()
    {
        QFETCH(QString, moment);
        const bool afterTheSwitch = moment == QLatin1String("after");
        Bench bench({queueFixture(QStringLiteral("party/amber.mp3")),
                     queueFixture(QStringLiteral("party/brass.mp3")),
                     queueFixture(QStringLiteral("party/cinder.mp3"))});
        QVERIFY(bench.allValid());
        vimotest::SignalCounter ends(&bench.receiver, &EndReceiver::notifyFromBaseThread);
        Track* head = bench.tracks.at(0);
        QVERIFY(bench.enqueue(head));
        Track* random = bench.queue->preDrawnRandom();
        QVERIFY(random && random != head);
        Track* wish = bench.tracks.at(bench.tracks.at(1) == random ? 2 : 1);
        if (moment == QLatin1String("drawn")) {
            // Once the wished pre-drawn song plays, another one is drawn to follow it seamlessly.
            QVERIFY(bench.enqueue(random));
            QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, songEndTimeout);
            QTRY_VERIFY(random->playing());
            QCOMPARE(bench.queue->preDrawnRandom(), wish);
            QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 2, songEndTimeout);
            QTRY_VERIFY(wish->playing());
            return;
        }
        const auto line = [](int number, const QString& marker, const Track* track) {
            return QStringLiteral("  %1: ").arg(number) + marker + track->artist() + QStringLiteral(" - ") +
                   track->title();
        };
        if (moment == QLatin1String("genre")) {
            // The filter now shows only the other free song: it follows the head instead of the drawn one.
            random->setInGenreFilter(false);
            bench.queue->followGenreFilter(&bench.library);
            QCOMPARE(bench.queue->preDrawnRandom(), wish);
            QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, songEndTimeout);
            QTRY_VERIFY(wish->playing());
            QVERIFY(!random->played() && !random->player()->hasStarted());
            QCOMPARE(bench.numberedLines(), QStringList({line(1, "  ", head), line(2, "* ", wish)}));
            return;
        }

        if (!afterTheSwitch) {
            // Held while the random song is armed, so the wish surely comes before the change.
            const quint32 stream = dynamic_cast<AllBase*>(head->player())->streamHandle();
            QTRY_VERIFY(AudioEngine::instance().position(stream) >= AudioEngine::sampleRate / 4);
            QVERIFY(bench.queue->pauseHead());
            QVERIFY(bench.enqueue(wish));
            QVERIFY(bench.queue->resumeHead());
            QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, songEndTimeout);
            QTRY_VERIFY(wish->playing());
            QVERIFY(!random->playing() && !random->played());
            QVERIFY(!random->player()->hasStarted());
            QCOMPARE(bench.numberedLines(), QStringList({line(1, "  ", head), line(2, "  ", wish)}));
            return;
        }
        // The queue hears of the change only after the wish.
        QVERIFY(waitHoldingEvents([random] { return random->player()->hasStarted(); }));
        QVERIFY(head->playing());
        QVERIFY(bench.enqueue(wish));
        QVERIFY(wish->queued());
        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, songEndTimeout);
        QTRY_VERIFY(random->playing());
        QCOMPARE(bench.queue->queuedSongs(), QList<Track*>({random, wish}));
        QCOMPARE(bench.queueTable.item(0, 1)->text(), wish->displayText());
        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 2, songEndTimeout);
        QTRY_VERIFY(wish->playing());
        QCOMPARE(bench.numberedLines(),
                 QStringList({line(1, "  ", head), line(2, "* ", random), line(3, "  ", wish)}));
    }

    // The host skips just as the song ends by itself, before the queue has heard of the end: only that
    // song is over, and the wish behind it plays instead of being ended unheard by the second end.
    void aSkipAtTheVeryEndSkipsOnlyThatSong()
    {
        Bench bench({queueFixture(QStringLiteral("party/amber.mp3")),
                     queueFixture(QStringLiteral("party/brass.mp3"))});
        QVERIFY(bench.allValid());
        vimotest::SignalCounter ends(&bench.receiver, &EndReceiver::notifyFromBaseThread);
        Track* head = bench.tracks.at(0);
        Track* wish = bench.tracks.at(1);
        QVERIFY(bench.enqueue(head));
        QVERIFY(bench.enqueue(wish));
        // The end is posted but not yet delivered.
        const quint32 stream = dynamic_cast<AllBase*>(head->player())->streamHandle();
        QVERIFY(waitHoldingEvents([stream] { return AudioEngine::instance().position(stream) == -1; }));
        bool allSelectableAgain = false;
        QVERIFY(!bench.queue->skipHead(&bench.library, allSelectableAgain));
        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, songEndTimeout);
        QVERIFY(head->played());
        QVERIFY(wish->playing());
        QCOMPARE(bench.queue->queuedSongs(), QList<Track*>({wish}));
        QVERIFY(!bench.playlist().contains(QStringLiteral("skipped")));
    }

    void aFirstWishWhoseFileIsGoneGivesWayToARandomSong()
    {
        QTemporaryDir folder;
        const QStringList files = vimotest::copyQueueFolder(QStringLiteral("three"), folder.path());
        QCOMPARE(files.size(), 3);
        Bench bench(files.mid(0, 2));
        QVERIFY(bench.allValid());
        Track* gone = bench.tracks.at(0);
        Track* other = bench.tracks.at(1);
        int photosForWishes = 0;
        bench.queue->snapshotHook = [&photosForWishes](bool showComment, const QString&) {
            photosForWishes += showComment ? 1 : 0;
        };
        QVERIFY(QFile::remove(gone->filePath()));

        QVERIFY(!bench.enqueue(gone));
        QVERIFY(other->playing());
        QCOMPARE(gone->state(), SongState::Free);
        QCOMPARE(bench.queue->queuedSongs(), QList<Track*>{other});
        QCOMPARE(bench.queueTable.item(0, 0)->text(), other->displayText());
        QCOMPARE(bench.libraryCell(gone)->foreground().color(), textColour());
        QVERIFY(bench.log().contains(QStringLiteral("Could not play the file %1; it is skipped.")
                                         .arg(QDir::toNativeSeparators(gone->filePath()))));
        // The song that plays was picked at random, and the playlist says so.
        QVERIFY(bench.playlist().startsWith(QLatin1String("The playback started at ")));
        QCOMPARE(bench.numberedLines(), QStringList{QStringLiteral("  1: * Beta Band - Second Wind")});
        QCOMPARE(photosForWishes, 0);
    }

    void aGoneLastUnplayedSongStaysOutOfTheNewRound()
    {
        QTemporaryDir folder;
        const QStringList files = vimotest::copyQueueFolder(QStringLiteral("three"), folder.path());
        QCOMPARE(files.size(), 3);
        Bench bench(files);
        QVERIFY(bench.allValid());
        Track* first = bench.tracks.at(0);
        Track* second = bench.tracks.at(1);
        Track* gone = bench.tracks.at(2);
        vimotest::SignalCounter ends(&bench.receiver, &EndReceiver::notifyFromBaseThread);
        QVERIFY(bench.enqueue(first));
        QVERIFY(bench.enqueue(second));
        QVERIFY(QFile::remove(gone->filePath()));

        // After the two wishes only the gone song is unplayed: it is skipped, the round is over, and the
        // new round goes on with one of the songs that can play.
        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 2, 2 * songEndTimeout);
        // The spy counts the end as the audio thread reports it; the queue handles it a moment later.
        QTRY_VERIFY(bench.allSelectableAgain);
        QVERIFY(!bench.queue->queuedSongs().isEmpty());
        Track* next = bench.queue->queuedSongs().first();
        QVERIFY(next == first || next == second);
        QVERIFY(next->playing());
        QCOMPARE(gone->state(), SongState::Free);
        // The song of the first round that waits for the next one looks free again.
        QCOMPARE(bench.libraryCell(next == first ? second : first)->foreground().color(), textColour());
        QCOMPARE(bench.log().filter(QDir::toNativeSeparators(gone->filePath())).size(), 1);
        const QString notice = vimotest::exhaustedNotice();
        QCOMPARE(bench.playlist().count(notice), 1);
        QVERIFY(bench.playlist().endsWith(
            notice + QStringLiteral("  3: * %1 - %2\n").arg(next->artist(), next->title())));
        QCOMPARE(bench.numberedLines().size(), 3);
    }

    void aLibraryOfGoneFilesPlaysNothingAndStops()
    {
        QTemporaryDir folder;
        const QStringList files = vimotest::copyQueueFolder(QStringLiteral("three"), folder.path());
        QCOMPARE(files.size(), 3);
        Bench bench(files);
        QVERIFY(bench.allValid());
        for (const QString& file : qAsConst(files))
            QVERIFY(QFile::remove(file));

        QVERIFY(!bench.enqueue(bench.tracks.first()));
        QVERIFY(!bench.queue->isBusy());
        QVERIFY(bench.queue->queuedSongs().isEmpty());
        QVERIFY(!bench.queue->hasPlaybackStarted());
        const QStringList log = bench.log();
        // Each file is named once, and the silence is explained.
        for (const QString& file : qAsConst(files))
            QCOMPARE(log.filter(QDir::toNativeSeparators(file)).size(), 1);
        QVERIFY(log.contains(QStringLiteral("None of the songs could be played.")));
        QVERIFY(bench.playlist().isEmpty());
    }

    void songsThatFailedToStartPlayWhenTheirFilesAreBack_data()
    {
        QTest::addColumn<bool>("wish");
        QTest::newRow("a wish") << true;
        QTest::newRow("the folder coming back") << false;
    }
    void songsThatFailedToStartPlayWhenTheirFilesAreBack()
    {
        QFETCH(bool, wish);
        QTemporaryDir folder;
        QTemporaryDir headFolder;
        const QStringList files = vimotest::copyQueueFolder(QStringLiteral("three"), folder.path());
        QCOMPARE(files.size(), 3);
        const QString head = headFolder.filePath(QStringLiteral("amber.mp3"));
        QVERIFY(QFile::copy(queueFixture(QStringLiteral("party/amber.mp3")), head));
        Bench bench(QStringList{head} + files);
        QVERIFY(bench.allValid());
        vimotest::SignalCounter ends(&bench.receiver, &EndReceiver::notifyFromBaseThread);
        // The folder is unreachable when the first song, from elsewhere, starts (a song that follows is
        // opened then, to follow without a gap), and the first song's file goes while it plays: when it
        // ends, nothing can follow it.
        const QString away = folder.path() + QStringLiteral("-away");
        QVERIFY(QDir().rename(folder.path(), away));
        QVERIFY(bench.enqueue(bench.tracks.at(0)));
        QVERIFY(QFile::remove(head));
        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, songEndTimeout);
        QTRY_VERIFY(bench.log().contains(QStringLiteral("None of the songs could be played.")));
        QVERIFY(!bench.queue->isBusy());
        for (const Track* track : qAsConst(bench.tracks))
            QCOMPARE(track->state(), SongState::Free);

        QVERIFY(QDir().rename(away, folder.path()));
        Track* played = bench.tracks.at(2);
        if (wish) {
            QVERIFY(bench.enqueue(played));
        } else {
            for (int second = 0; second < 60 && !bench.queue->isBusy(); ++second)
                bench.queue->retryWhenSilent(&bench.library);
            QVERIFY(!bench.queue->queuedSongs().isEmpty());
            played = bench.queue->queuedSongs().first();
        }
        QVERIFY(played->playing());
        QCOMPARE(bench.numberedLines().last(), QStringLiteral("  2: %1%2 - %3")
                                                   .arg(wish ? QStringLiteral("  ") : QStringLiteral("* "),
                                                        played->artist(), played->title()));
    }
};

VIMO_TEST_MAIN_WITH_CHILD(TestQueue, child)
#include "tst_queue.moc"
