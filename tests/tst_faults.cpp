// SPDX-License-Identifier: GPL-3.0-or-later
// Faults during a party, each with the real window, songs and audio: the sound device disappearing mid-song
// (and none coming back for a while), pictures that cannot be written, a full disk under the playlist, the
// log and the photos, a camera that stops giving frames, and a waiting song replaced by a FIFO. None of them
// crashes or freezes the program, and nothing already written is lost.
#include "audio/AllBase.h"
#include "audio/AudioEngine.h"
#include "base/runlog.h"
#include "base/wholefile.h"
#include "camera/Snapshot.h"
#include "camera/photocomment.h"
#include "camerasupport.h"
#include "desktop/DesktopLink.h"
#include "desktop/NoticeBoard.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/PlayQueue.h"
#include "queuesupport.h"
#include "testsupport.h"
#include "ui/mainwindowimpl.h"
#include "windowsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QMessageBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

using vimotest::fileBytes;
using vimotest::playlistLine;
using vimotest::queueFixture;
using vimotest::useHome;

namespace {

constexpr int songEndTimeoutMs = 30000;

// One start of the program with the songs of a folder.
class Run : public vimotest::PartyWindow
{
public:
    Run(const QString& folder, int songs) { added = add(folder, songs); }

    // Wishes the songs of these titles in this order: the first plays, the others wait. Empty when the
    // songs did not arrive or one of them is missing.
    QList<Track*> wishInOrder(const QStringList& titles)
    {
        QList<Track*> wished;
        for (const QString& title : titles)
            wished << titled(title);
        if (!added || wished.contains(nullptr))
            return QList<Track*>();
        for (Track* track : qAsConst(wished))
            wish(track);
        return wished;
    }
    static qint64 position(const Track* track)
    {
        return AudioEngine::instance().position(static_cast<const AllBase*>(track->player())->streamHandle());
    }

    bool added = false;
};

// From now on no file of this process may grow beyond `bytes`: writes past it fail as on a full disk.
// (The signal the kernel sends for it would end the process; a full disk sends none.)
bool fillTheDiskAt(qint64 bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// ---- Runs in a process of their own: a fresh run folder, limits that stay with the process ----

// The pictures location is a plain file, so neither run folder, log nor playlist can be made.
int partyWithoutPictures(QTextStream& out)
{
    Run run(queueFixture(QStringLiteral("three")), 3);
    out << "added: " << run.added << '\n';
    Track* first = run.titled(QStringLiteral("First Light"));
    if (!first)
        return 2;
    run.wish(first);
    out << "playing: " << first->playing() << '\n';
    const bool ended = QTest::qWaitFor([&] { return run.head() && run.head() != first; }, songEndTimeoutMs);
    out << "ended: " << (ended && first->played()) << '\n';
    out << "next playing: " << (ended && run.head()->playing()) << '\n';
    return 0;
}

// The disk fills up after two songs were protocolled: two more play, and what was written stays.
int partyOnAFullDisk(QTextStream& out)
{
    Run run(queueFixture(QStringLiteral("party")), 6);
    Track* amber = run.titled(QStringLiteral("Morning Tide"));
    if (!amber)
        return 2;
    run.wish(amber);
    if (!QTest::qWaitFor([&] { return run.lines().size() == 2; }, songEndTimeoutMs))
        return 3;
    out << "playlist: " << run.playlistPath() << '\n' << "log: " << logFilePath() << '\n';
    out.flush();
    if (!fillTheDiskAt(QFileInfo(run.playlistPath()).size()))
        return 4;
    const bool played = QTest::qWaitFor([&] { return run.ends->count() >= 3; }, 3 * songEndTimeoutMs);
    out << "played on: " << played << '\n';
    return 0;
}

// The disk fills up after the first photo: the second is not written at all, and the first stays whole
// when its comment cannot be stored.
int photosOnAFullDisk(const QString& folder, const QString& video, QTextStream& out)
{
    opencv::Snapshot webcam(video, 64, 48, 90);
    out << "first: " << webcam.takePicture(folder + QStringLiteral("/first.jpg")) << '\n';
    out << "first size: " << QFileInfo(folder + QStringLiteral("/first.jpg")).size() << '\n';
    out.flush();
    if (!fillTheDiskAt(64))
        return 4;
    out << "second: " << webcam.takePicture(folder + QStringLiteral("/second.jpg")) << '\n';
    out << "comment: "
        << writePhotoComment(QFile::encodeName(folder + QStringLiteral("/first.jpg")).toStdString(),
                             "Cheers!")
        << '\n';
    return 0;
}

// One photo written after a fault: its folder deleted, or the disk full at the first kilobyte.
int photoAfterAFault(const QString& folder, const QString& fault, int bytes, const QString& video,
                     QTextStream& out)
{
    const QString photo = folder + QStringLiteral("/DJ portraits/photo.jpg");
    if (!QDir().mkpath(folder + QStringLiteral("/DJ portraits")))
        return 4;
    if (fault == QLatin1String("deleted folder")) {
        opencv::Snapshot webcam(video, 64, 48, 90);
        if (!QDir(folder).removeRecursively())
            return 5;
        out << "written: " << webcam.takePicture(photo) << '\n';
        return 0;
    }
    if (!fillTheDiskAt(1000))
        return 6;
    QString error;
    out << "written: " << writeWholeFile(photo, QByteArray(bytes, 'x'), &error) << '\n';
    out << "error: " << error << '\n';
    return 0;
}

int child(const QStringList& arguments)
{
    const QString mode = arguments.value(0);
    useHome(arguments.value(1));
    QTextStream out(stdout);
    if (mode == QLatin1String("without-pictures"))
        return partyWithoutPictures(out);
    if (mode == QLatin1String("full-disk"))
        return partyOnAFullDisk(out);
    if (mode == QLatin1String("full-disk-photos"))
        return photosOnAFullDisk(arguments.value(2), arguments.value(3), out);
    if (mode == QLatin1String("photo-after-fault"))
        return photoAfterAFault(arguments.value(2), arguments.value(3), arguments.value(4).toInt(),
                                arguments.value(5), out);
    return 1;
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(QFileInfo::exists(queueFixture(QStringLiteral("wishes/long.mp3"))));
        QVERIFY(!runFolder().isEmpty());
    }

    void cleanup()
    {
        qputenv("SDL_AUDIODRIVER", "dummy");
        qunsetenv("SDL_DISKAUDIOFILE");
    }

    void soundDeviceGoneMidSongTheQueueGoesOn()
    {
        Run run(queueFixture(QStringLiteral("wishes")), 6);
        const QList<Track*> wished =
            run.wishInOrder({QStringLiteral("Endless Road"), QStringLiteral("Wish One")});
        QCOMPARE(wished.size(), 2);
        Track* longSong = wished.at(0);
        Track* next = wished.at(1);
        QVERIFY(next->queued());
        QTRY_VERIFY_WITH_TIMEOUT(Run::position(longSong) > 0, songEndTimeoutMs);

        AudioEngine::instance().injectDeviceRemovalForTesting();
        // The song that was playing ends as songs end; the next wish plays on the device opened again.
        QTRY_COMPARE_WITH_TIMEOUT(run.ends->count(), 1, songEndTimeoutMs);
        QTRY_VERIFY(next->playing());
        QVERIFY(longSong->played() && !longSong->playing());
        QTRY_VERIFY(run.logged(QStringLiteral("The sound device was removed.")));
        QTRY_VERIFY(run.logged(QStringLiteral("The default sound device was opened again.")));
        // The news travels from the audio thread to the window's notices, the loss first.
        const NoticeBoard& board = run.window->desktopLink()->notices();
        QTRY_COMPARE(QStringList(board.current()) + board.waiting(),
                     QStringList({NoticeBoard::deviceLostNotice(), NoticeBoard::deviceBackNotice()}));
        QTRY_COMPARE_WITH_TIMEOUT(run.ends->count(), 2, songEndTimeoutMs);
        QTRY_COMPARE(run.lines().size(), 3);
        QCOMPARE(run.lines().mid(0, 2),
                 QStringList({playlistLine(1, false, longSong), playlistLine(2, false, next)}));
    }

    void withoutAnySoundDeviceTheWindowStaysUsable()
    {
        // SDL's disk driver plays into a file; while that file's folder is a plain file, no device opens.
        QTemporaryDir place;
        const QString folder = place.filePath(QStringLiteral("device"));
        QVERIFY(QDir().mkdir(folder));
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(folder + QStringLiteral("/capture.raw")));
        Run run(queueFixture(QStringLiteral("wishes")), 6);
        const QList<Track*> wished =
            run.wishInOrder({QStringLiteral("Endless Road"), QStringLiteral("Wish One")});
        Track* second = run.titled(QStringLiteral("Wish Two"));
        QVERIFY(wished.size() == 2 && second);
        Track* longSong = wished.at(0);
        Track* first = wished.at(1);

        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        AudioEngine::instance().injectDeviceRemovalForTesting();
        QTRY_COMPARE_WITH_TIMEOUT(run.ends->count(), 1, songEndTimeoutMs);
        QTRY_VERIFY(first->playing());
        QTRY_VERIFY(run.logged(QStringLiteral("Vimo keeps trying to open the default sound device.")));

        // Meanwhile the party goes on as far as it can without sound: a wish is taken, pause and resume
        // answer, the song waits silent where it starts; passing time is what is tested here.
        run.wish(second);
        QVERIFY(second->queued());
        QMetaObject::invokeMethod(run.window.get(), "pauseWasPressed");
        QVERIFY(run.window->isPaused());
        QMetaObject::invokeMethod(run.window.get(), "pauseWasPressed");
        QVERIFY(!run.window->isPaused());
        QTest::qWait(3 * AudioEngine::deviceRetryMilliseconds);
        QVERIFY(!AudioEngine::instance().hasDevice());
        QCOMPARE(Run::position(first), qint64(0));
        QCOMPARE(run.ends->count(), 1);

        // The device comes back: both waiting songs play to their ends.
        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().mkdir(folder));
        QTRY_VERIFY_WITH_TIMEOUT(AudioEngine::instance().hasDevice(), songEndTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(run.ends->count(), 3, 2 * songEndTimeoutMs);
        QCOMPARE(run.lines().mid(0, 3),
                 QStringList({playlistLine(1, false, longSong), playlistLine(2, false, first),
                              playlistLine(3, false, second)}));
    }

    void picturesThatCannotBeWrittenStillLetThePartyPlay()
    {
        QTemporaryDir home;
        QFile pictures(home.filePath(QStringLiteral("Pictures")));
        QVERIFY(pictures.open(QIODevice::WriteOnly));
        pictures.close();
        const QStringList before = QDir::current().entryList(QDir::Files);

        QString output;
        QCOMPARE(vimotest::runChild({QStringLiteral("without-pictures"), home.path()}, &output), 0);
        QCOMPARE(vimotest::childValue(output, QStringLiteral("added")), QStringLiteral("1"));
        QCOMPARE(vimotest::childValue(output, QStringLiteral("playing")), QStringLiteral("1"));
        QCOMPARE(vimotest::childValue(output, QStringLiteral("ended")), QStringLiteral("1"));
        QCOMPARE(vimotest::childValue(output, QStringLiteral("next playing")), QStringLiteral("1"));
        // Neither log nor playlist went anywhere else instead.
        QVERIFY(QFileInfo(home.filePath(QStringLiteral("Pictures"))).isFile());
        QCOMPARE(QDir::current().entryList(QDir::Files), before);
    }

    void aFullDiskKeepsWhatWasWrittenAndThePartyGoesOn()
    {
        QTemporaryDir home;
        QString output;
        QCOMPARE(vimotest::runChild({QStringLiteral("full-disk"), home.path()}, &output, 180000), 0);
        QCOMPARE(vimotest::childValue(output, QStringLiteral("played on")), QStringLiteral("1"));

        // The playlist keeps its header and the two lines written before the disk was full, whole.
        const QString playlist =
            vimotest::textAfter(vimotest::childValue(output, QStringLiteral("playlist")), 0);
        QVERIFY(playlist.startsWith(QStringLiteral("The playback started at ")));
        QCOMPARE(vimotest::numberedPlaylistLines(playlist).size(), 2);
        QVERIFY(playlist.endsWith(QLatin1Char('\n')));
        // So does the log, up to the lines of the first song's end.
        const QString log = vimotest::textAfter(vimotest::childValue(output, QStringLiteral("log")), 0);
        QVERIFY(log.startsWith(QStringLiteral("\nVimo log file\nCreated: ")));
        QVERIFY(log.contains(QStringLiteral("Adding of files has finished.")));
        QVERIFY(log.endsWith(QLatin1Char('\n')));
    }

    void aFullDiskLeavesNoHalfPhotoAndKeepsTheFirst()
    {
        QTemporaryDir home;
        QTemporaryDir photos;
        const QString video = home.filePath(QStringLiteral("camera.avi"));
        QVERIFY(vimotest::makeCameraVideo(video, 5));
        QString output;
        QCOMPARE(vimotest::runChild({QStringLiteral("full-disk-photos"), home.path(), photos.path(), video},
                                    &output),
                 0);
        QVERIFY2(vimotest::childValue(output, QStringLiteral("first")) == QStringLiteral("1"),
                 qPrintable(output));
        QVERIFY2(vimotest::childValue(output, QStringLiteral("second")) == QStringLiteral("0"),
                 qPrintable(output));
        QVERIFY2(vimotest::childValue(output, QStringLiteral("comment")) == QStringLiteral("0"),
                 qPrintable(output));
        // Only the first photo is there, as it was written: no half photo, no file beside it.
        QCOMPARE(QDir(photos.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("first.jpg")});
        const QByteArray first = fileBytes(photos.filePath(QStringLiteral("first.jpg")));
        QCOMPARE(QString::number(first.size()), vimotest::childValue(output, QStringLiteral("first size")));
        QVERIFY(first.startsWith("\xFF\xD8") && first.endsWith("\xFF\xD9"));
        QCOMPARE(readPhotoCommentFromFile(
                     QFile::encodeName(photos.filePath(QStringLiteral("first.jpg"))).toStdString()),
                 std::string());
    }

    // A photo's folder deleted during the party comes back with the photo; a photo the disk cannot take
    // says why, whether the write stopped in Qt's buffer or in a large write of its own.
    void aPhotoAfterAFaultIsWrittenOrSaysWhy_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("written");
        QTest::newRow("run folder deleted") << "deleted folder" << 0 << true;
        QTest::newRow("full disk, small photo") << "full disk" << 5000 << false;
        QTest::newRow("full disk, large photo") << "full disk" << 50000 << false;
    }
    void aPhotoAfterAFaultIsWrittenOrSaysWhy()
    {
        QFETCH(QString, fault);
        QFETCH(int, bytes);
        QFETCH(bool, written);
        QTemporaryDir home;
        const QString run = home.filePath(QStringLiteral("run"));
        const QString video = home.filePath(QStringLiteral("camera.avi"));
        QVERIFY(vimotest::makeCameraVideo(video, 5));
        QString output;
        QCOMPARE(vimotest::runChild({QStringLiteral("photo-after-fault"), home.path(), run, fault,
                                     QString::number(bytes), video},
                                    &output),
                 0);
        QCOMPARE(vimotest::childValue(output, QStringLiteral("written")), QString::number(written));
        const QStringList left =
            QDir(run + QStringLiteral("/DJ portraits")).entryList(QDir::Files | QDir::Hidden);
        if (written) {
            QCOMPARE(left, QStringList{QStringLiteral("photo.jpg")});
            return;
        }
        QVERIFY(left.isEmpty());
        QCOMPARE(vimotest::childValue(output, QStringLiteral("error")),
                 QString::fromLocal8Bit(std::strerror(EFBIG)));
    }

    void aCameraThatStopsGivingFramesLeavesEarlierPhotosAndGoesOn()
    {
        QTemporaryDir folder;
        const QString video = folder.filePath(QStringLiteral("two frames.avi"));
        QVERIFY(vimotest::makeCameraVideo(video, 2));
        opencv::Snapshot webcam(video, 64, 48, 90);
        QVERIFY(webcam.isOpened());
        QVERIFY(QDir().mkdir(folder.filePath(QStringLiteral("DJ portraits"))));
        const QString portraits = folder.filePath(QStringLiteral("DJ portraits")) + QLatin1Char('/');
        const qint64 logStart = QFileInfo(logFilePath()).size();

        QFuture<void> job;
        int counter = 0;
        QStringList names;
        for (int song = 1; song <= 4; ++song) {
            names << opencv::nameNextPortrait(&webcam, counter, QStringLiteral("Band %1").arg(song),
                                              QStringLiteral("Song"), song % 2 == 0);
            // A wish waits for its photo; the random picks do not.
            opencv::startSnapshotJob(&webcam, job, song % 2 == 1, portraits, names.last());
        }
        job.waitForFinished();
        QCOMPARE(counter, 4);
        QVERIFY(QFileInfo(portraits + names.at(0)).size() > 0);
        QVERIFY(QFileInfo(portraits + names.at(1)).size() > 0);
        QVERIFY(!QFileInfo::exists(portraits + names.at(2)));
        QVERIFY(!QFileInfo::exists(portraits + names.at(3)));
        QCOMPARE(vimotest::logMessagesAfter(logStart)
                     .filter(QStringLiteral("Failed to retrieve current frame from webcam"))
                     .size(),
                 2);
        QCOMPARE(QDir(portraits).entryList(QDir::Files).size(), 2);
    }

    void aWaitingSongReplacedByAFifoIsSkippedWithoutWaiting()
    {
        QTemporaryDir folder;
        QCOMPARE(vimotest::copyQueueFolder(QStringLiteral("party"), folder.path()).size(), 6);
        Run run(folder.path(), 6);
        // Replaced before it is wished: a wish is opened ahead at once, to follow the head without a gap.
        Track* brass = run.titled(QStringLiteral("Copper Sky"));
        QVERIFY(brass);
        QVERIFY(QFile::remove(brass->filePath()));
        QCOMPARE(::mkfifo(QFile::encodeName(brass->filePath()).constData(), 0644), 0);
        const QList<Track*> wished =
            run.wishInOrder({QStringLiteral("Morning Tide"), QStringLiteral("Copper Sky")});
        QCOMPARE(wished.size(), 2);
        Track* amber = wished.at(0);
        QVERIFY(brass->queued());

        // Opening a FIFO would wait for a writer forever; the song is skipped and the party goes on.
        QTRY_COMPARE_WITH_TIMEOUT(run.ends->count(), 1, songEndTimeoutMs);
        QTRY_VERIFY(run.head() && run.head() != amber && run.head() != brass && run.head()->playing());
        QVERIFY(run.logged(QStringLiteral("Could not play the file %1; it is skipped.")
                               .arg(QDir::toNativeSeparators(brass->filePath()))));
        QCOMPARE(brass->state(), SongState::Free);
    }
};

VIMO_TEST_MAIN_WITH_CHILD(TestFaults, child)
#include "tst_faults.moc"
