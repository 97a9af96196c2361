// The library store: duplicates, merging, the genre ranking, the random-choice candidates
// and the folder scan, with tracks read from generated files by the real adding job.
#include "FileConstructor.h"
#include "Track.h"
#include "TrackLibrary.h"
#include "folderscan.h"
#include "runlog.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QString fixture(const QString& name)
{
    return vimotest::fixturesDirectory() + QStringLiteral("/library/") + name;
}

Track* newTrack(const QString& name)
{
    return FileConstructor(fixture(name), nullptr, nullptr, nullptr).createTrack();
}

// Result counts of one adding job, handed over as the window does: each result as it becomes ready.
struct JobCounts
{
    int accepted = 0;
    int duplicates = 0;
    int refused = 0;
};

JobCounts runJob(TrackLibrary& library, bool started, QFuture<Track*> job)
{
    JobCounts counts;
    if (!started)
        return counts;
    QFutureWatcher<Track*> watcher;
    QObject::connect(&watcher, &QFutureWatcher<Track*>::resultReadyAt, &watcher, [&](int index) {
        Track* track = watcher.resultAt(index);
        if (!track)
            ++counts.refused;
        else if (library.addPendingTrack(track))
            ++counts.accepted;
        else
            ++counts.duplicates;
    });
    QSignalSpy finished(&watcher, &QFutureWatcher<Track*>::finished);
    watcher.setFuture(job);
    if (!watcher.isFinished() || finished.isEmpty())
        finished.wait(60000);
    QCoreApplication::processEvents();
    library.mergePending();
    return counts;
}

JobCounts addFiles(TrackLibrary& library, const QStringList& names)
{
    QStringList paths;
    for (const QString& name : names)
        paths << fixture(name);
    QFuture<Track*> job;
    const bool started = library.startAdding(paths, job);
    return runJob(library, started, job);
}

JobCounts addFolder(TrackLibrary& library, const QString& folder)
{
    QFuture<Track*> job;
    const bool started = library.startAddingFolder(QFileInfo(fixture(folder)), job);
    return runJob(library, started, job);
}

QStringList ranking(const TrackLibrary& library)
{
    QStringList genres;
    for (int index = 0; !library.genreAt(index).isEmpty(); ++index)
        genres << library.genreAt(index);
    return genres;
}

QStringList titles(const QList<Track*>& tracks)
{
    QStringList names;
    for (const Track* track : tracks)
        names << track->title();
    return names;
}

bool touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

} // namespace

class TestLibrary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(!runFolder().isEmpty());
        QVERIFY(QFileInfo(fixture(QStringLiteral("ranking"))).isDir());
    }

    void sameSongInCapitalsIsDuplicateInOneJob()
    {
        TrackLibrary library(nullptr, nullptr);
        const JobCounts counts =
            addFiles(library, {QStringLiteral("yesterday.mp3"), QStringLiteral("yesterday-capitals.mp3"),
                               QStringLiteral("yesterday-double-blank.mp3")});
        QCOMPARE(counts.accepted, 2);
        QCOMPARE(counts.duplicates, 1);
        QCOMPARE(library.trackCount(), 2);
        QVERIFY(library.findBySearchKey(QStringLiteral("the beatles\nyesterday")));
        QVERIFY(library.findBySearchKey(QStringLiteral("the beatles\nyester  day")));
    }

    void firstHandedOverWins()
    {
        TrackLibrary library(nullptr, nullptr);
        QVERIFY(library.addPendingTrack(newTrack(QStringLiteral("yesterday-capitals.mp3"))));
        QVERIFY(!library.addPendingTrack(newTrack(QStringLiteral("yesterday.mp3"))));
        QCOMPARE(library.findBySearchKey(QStringLiteral("the beatles\nyesterday"))->filePath(),
                 fixture(QStringLiteral("yesterday-capitals.mp3")));
    }

    void sameSongIsDuplicateInALaterJob()
    {
        TrackLibrary library(nullptr, nullptr);
        QCOMPARE(addFiles(library, {QStringLiteral("yesterday-capitals.mp3")}).accepted, 1);
        const JobCounts second = addFiles(library, {QStringLiteral("yesterday.mp3")});
        QCOMPARE(second.accepted, 0);
        QCOMPARE(second.duplicates, 1);
        QCOMPARE(library.trackCount(), 1);
        QCOMPARE(library.findBySearchKey(QStringLiteral("the beatles\nyesterday"))->title(),
                 QStringLiteral("YESTERDAY"));
    }

    void addingTheSameFolderTwiceAddsNothing()
    {
        TrackLibrary library(nullptr, nullptr);
        const JobCounts first = addFolder(library, QStringLiteral("ranking"));
        QCOMPARE(first.accepted, 17);
        QCOMPARE(first.duplicates + first.refused, 0);
        const JobCounts second = addFolder(library, QStringLiteral("ranking"));
        QCOMPARE(second.accepted, 0);
        QCOMPARE(second.duplicates, 17);
        QCOMPARE(library.trackCount(), 17);
    }

    void refusedFilesAreCounted()
    {
        TrackLibrary library(nullptr, nullptr);
        const JobCounts counts =
            addFiles(library, {QStringLiteral("not-audio.mp3"), QStringLiteral("no-artist.mp3"),
                               QStringLiteral("gone.mp3"), QStringLiteral("seven-seconds.mp3")});
        QCOMPARE(counts.refused, 3);
        QCOMPARE(counts.accepted, 1);
    }

    void nothingToAdd()
    {
        TrackLibrary library(nullptr, nullptr);
        QFuture<Track*> job;
        QVERIFY(!library.startAdding(QStringList(), job));
        QVERIFY(!library.startAddingFolder(QFileInfo(fixture(QStringLiteral("yesterday.mp3"))), job));
        QVERIFY(!library.startAddingFolder(QFileInfo(fixture(QStringLiteral("no-such-folder"))), job));
        QTemporaryDir empty;
        QVERIFY(!library.startAddingFolder(QFileInfo(empty.path()), job));
    }

    void pendingSongsCountButAreNotRanked()
    {
        TrackLibrary library(nullptr, nullptr);
        QVERIFY(library.addPendingTrack(newTrack(QStringLiteral("ranking/pop-1.mp3"))));
        QVERIFY(library.addPendingTrack(newTrack(QStringLiteral("ranking/pop-2.mp3"))));
        QCOMPARE(library.trackCount(), 2);
        QCOMPARE(library.genreAt(0), QString());
        QVERIFY(library.findBySearchKey(QStringLiteral("ranker\npop song 2")));
        library.mergePending();
        QCOMPARE(library.trackCount(), 2);
        QCOMPARE(ranking(library), QStringList{QStringLiteral("Pop")});
        QCOMPARE(library.genreAt(-1), QString());
        int pending = 0;
        library.forEachPendingTrack([&pending](Track*) { ++pending; });
        QCOMPARE(pending, 0);
    }

    void guardsOfTheHandOver()
    {
        TrackLibrary library(nullptr, nullptr);
        QVERIFY(!library.addPendingTrack(nullptr));
        Track* track = newTrack(QStringLiteral("seven-seconds.mp3"));
        QVERIFY(library.addPendingTrack(track));
        // Handed over twice: refused, and still alive.
        QVERIFY(!library.addPendingTrack(track));
        QCOMPARE(track->title(), QStringLiteral("Seven"));
        QCOMPARE(library.trackCount(), 1);
    }

    void rankingWithCollisions()
    {
        // Jazz 3, Pop 5, Rock 5, Soul 4: Jazz at 3, Pop at 5, Rock pushed to 4, Soul pushed to 2.
        TrackLibrary library(nullptr, nullptr);
        addFolder(library, QStringLiteral("ranking"));
        QCOMPARE(ranking(library), (QStringList{QStringLiteral("Pop"), QStringLiteral("Rock"),
                                                QStringLiteral("Jazz"), QStringLiteral("Soul")}));
        QCOMPARE(library.genreAt(4), QString());
    }

    void threeGenresOfTwoSongsRankOnlyTwo()
    {
        TrackLibrary library(nullptr, nullptr);
        addFolder(library, QStringLiteral("ranking-pairs"));
        QCOMPARE(ranking(library), (QStringList{QStringLiteral("Jazz"), QStringLiteral("Rock")}));
    }

    void singleSongGenreIsNotRanked()
    {
        TrackLibrary library(nullptr, nullptr);
        addFiles(library, {QStringLiteral("ranking/soul-1.mp3"), QStringLiteral("ranking/jazz-1.mp3"),
                           QStringLiteral("ranking/jazz-2.mp3"), QStringLiteral("yesterday.mp3")});
        QCOMPARE(ranking(library), QStringList{QStringLiteral("Jazz")});
        // Counts grow across jobs: a second Soul song ranks it.
        addFiles(library, {QStringLiteral("ranking/soul-2.mp3")});
        QCOMPARE(ranking(library), (QStringList{QStringLiteral("Jazz"), QStringLiteral("Soul")}));
    }

    void selectableTracks()
    {
        TrackLibrary library(nullptr, nullptr);
        addFiles(library, {QStringLiteral("ranking/jazz-1.mp3"), QStringLiteral("ranking/jazz-2.mp3"),
                           QStringLiteral("ranking/jazz-3.mp3"), QStringLiteral("ranking/pop-1.mp3")});
        QVERIFY(library.addPendingTrack(newTrack(QStringLiteral("ranking/pop-2.mp3"))));
        library.findBySearchKey(QStringLiteral("ranker\njazz song 1"))->setState(SongState::Played);
        library.findBySearchKey(QStringLiteral("ranker\njazz song 2"))->setState(SongState::Playing);
        library.findBySearchKey(QStringLiteral("ranker\njazz song 3"))->setState(SongState::Queued);
        QCOMPARE(titles(library.selectableTracks(false)),
                 (QStringList{QStringLiteral("Jazz Song 3"), QStringLiteral("Pop Song 1"),
                              QStringLiteral("Pop Song 2")}));
        QVERIFY(library.selectableTracks(true).isEmpty());
        library.findBySearchKey(QStringLiteral("ranker\npop song 2"))->setInGenreFilter(true);
        library.findBySearchKey(QStringLiteral("ranker\njazz song 1"))->setInGenreFilter(true);
        QCOMPARE(titles(library.selectableTracks(true)), QStringList{QStringLiteral("Pop Song 2")});
    }

    void walksInKeyOrder()
    {
        TrackLibrary library(nullptr, nullptr);
        addFiles(library, {QStringLiteral("seven-seconds.mp3"), QStringLiteral("yesterday.mp3"),
                           QStringLiteral("ranking/pop-1.mp3")});
        QStringList keys;
        library.forEachTrack([&keys](Track* track) { keys << track->searchKey(); });
        QCOMPARE(keys, (QStringList{QStringLiteral("ranker\npop song 1"), QStringLiteral("short band\nseven"),
                                    QStringLiteral("the beatles\nyesterday")}));
    }

    void findBySearchKeyMisses()
    {
        TrackLibrary library(nullptr, nullptr);
        addFiles(library, {QStringLiteral("yesterday.mp3")});
        QVERIFY(!library.findBySearchKey(QStringLiteral("The Beatles\nYesterday")));
        QVERIFY(!library.findBySearchKey(QString()));
    }

    void resetReleasesEverySong()
    {
        TrackLibrary library(nullptr, nullptr);
        addFiles(library, {QStringLiteral("yesterday.mp3"), QStringLiteral("seven-seconds.mp3")});
        Track* yesterday = library.findBySearchKey(QStringLiteral("the beatles\nyesterday"));
        Track* seven = library.findBySearchKey(QStringLiteral("short band\nseven"));
        QVERIFY(yesterday && seven);
        yesterday->setState(SongState::Played);
        seven->setState(SongState::Playing);
        QVERIFY(library.selectableTracks(false).isEmpty());

        library.resetPlayedMarks();
        QCOMPARE(library.selectableTracks(false).size(), 2);
        QVERIFY(seven->state() == SongState::Free && yesterday->state() == SongState::Free);
    }

    void firstNotificationOnce()
    {
        TrackLibrary library(nullptr, nullptr);
        QVERIFY(library.takeFirstNotification());
        QVERIFY(!library.takeFirstNotification());
    }

    void scanFolderOrderAndFilters()
    {
        QTemporaryDir root;
        QDir folder(root.path());
        QVERIFY(folder.mkpath(QStringLiteral("sub/deeper")));
        QVERIFY(folder.mkpath(QStringLiteral(".hidden")));
        QVERIFY(touch(folder.filePath(QStringLiteral("a.mp3"))));
        QVERIFY(touch(folder.filePath(QStringLiteral("LOUD.MP3"))));
        QVERIFY(touch(folder.filePath(QStringLiteral(".secret.mp3"))));
        QVERIFY(touch(folder.filePath(QStringLiteral("notes.txt"))));
        QVERIFY(touch(folder.filePath(QStringLiteral("sub/b.mp3"))));
        QVERIFY(touch(folder.filePath(QStringLiteral("sub/deeper/c.mp3"))));
        QVERIFY(touch(folder.filePath(QStringLiteral(".hidden/d.mp3"))));
        QVERIFY(QFile::link(folder.filePath(QStringLiteral("a.mp3")),
                            folder.filePath(QStringLiteral("link.mp3"))));
        QVERIFY(QFile::link(folder.filePath(QStringLiteral("sub")),
                            folder.filePath(QStringLiteral("linked-sub"))));

        QStringList paths(QStringLiteral("kept"));
        scanFolder(QFileInfo(root.path()), paths);
        QCOMPARE(paths.first(), QStringLiteral("kept"));
        paths.removeFirst();
        QStringList relative;
        for (const QString& path : qAsConst(paths)) {
            QVERIFY(QFileInfo(path).isAbsolute());
            relative << folder.relativeFilePath(path);
        }
        QCOMPARE(relative.size(), 6);
        // The folder's own files come before those of its subfolders, and a subfolder's before its own.
        const QStringList own = relative.mid(0, 3);
        QCOMPARE(QSet<QString>(own.begin(), own.end()),
                 (QSet<QString>{QStringLiteral("a.mp3"), QStringLiteral("LOUD.MP3"),
                                QStringLiteral(".secret.mp3")}));
        QVERIFY(relative.contains(QStringLiteral(".hidden/d.mp3")));
        QVERIFY(relative.indexOf(QStringLiteral("sub/b.mp3")) <
                relative.indexOf(QStringLiteral("sub/deeper/c.mp3")));
    }
};

VIMO_TEST_MAIN(TestLibrary)
#include "tst_library.moc"
