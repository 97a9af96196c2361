// SPDX-License-Identifier: GPL-3.0-or-later
// The library store: duplicates, merging, the genre ranking, the random-choice candidates
// and the folder scan, with tracks read from generated files by the real adding job.
#include "audio/Loudness.h"
#include "audio/LoudnessCache.h"
#include "base/runlog.h"
#include "library/AddingRelay.h"
#include "library/FileConstructor.h"
#include "library/SongCache.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "library/folderscan.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMutex>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>
#include <unistd.h>

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

JobCounts addFolderAt(TrackLibrary& library, const QString& path)
{
    QFuture<Track*> job;
    const bool started = library.startAddingFolder(QFileInfo(path), job);
    return runJob(library, started, job);
}

JobCounts addFolder(TrackLibrary& library, const QString& folder)
{
    return addFolderAt(library, fixture(folder));
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

// A copy of a fixture in `folder`, last changed `age` seconds ago: old enough for the song cache to keep.
QString agedCopy(const QTemporaryDir& folder, const QString& name, const QString& as, int age)
{
    const QString path = folder.filePath(as);
    QFile::remove(path);
    QFile copy(path);
    if (!QFile::copy(fixture(name), path) || !copy.open(QIODevice::ReadWrite) ||
        !copy.setFileTime(QDateTime::currentDateTime().addSecs(-age), QFileDevice::FileModificationTime))
        return QString();
    return path;
}

// A copy of yesterday.mp3 in `folder` whose row the song cache has stored: added once, the writes done.
QString cachedSong(const QTemporaryDir& folder)
{
    const QString path = agedCopy(folder, QStringLiteral("yesterday.mp3"), QStringLiteral("song.mp3"), 3600);
    if (path.isEmpty())
        return path;
    TrackLibrary first(nullptr, nullptr);
    const bool added = addFolderAt(first, folder.path()).accepted == 1;
    SongCache::waitForWrites();
    return added ? path : QString();
}

Loudness measuredAs(double integrated, double truePeak)
{
    Loudness loudness;
    loudness.integrated = integrated;
    loudness.truePeak = truePeak;
    loudness.measured = true;
    return loudness;
}

// What the song cache holds for one file as it is now.
SongCache::Known cached(const QString& path)
{
    SongCache::waitForWrites();
    const auto cache = SongCache::forJob(QFileInfo(path).absolutePath(), {path}, false);
    SongCache::Known known = cache ? cache->lookup(path, FileStamp::of(path)) : SongCache::Known();
    delete known.tags;
    known.tags = nullptr;
    return known;
}

QStringList refusalLines(const QStringList& messages)
{
    return messages.filter(QStringLiteral("Reading ID3 tags of file: "));
}

const QString cacheRebuilt = QStringLiteral("The song cache could not be read and has been started anew.");

// Runs statements on the song cache's database file the way another program would.
bool onCacheDatabase(const QStringList& statements)
{
    bool done = true;
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        raw.setDatabaseName(SongCache::databasePath());
        done = QDir().mkpath(QFileInfo(SongCache::databasePath()).absolutePath()) && raw.open();
        for (const QString& statement : statements)
            done = done && QSqlQuery(raw).exec(statement);
        raw.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return done;
}

// The columns of the cache before it kept change times.
const QString firstSchema = QStringLiteral(
    "CREATE TABLE songs (path TEXT PRIMARY KEY, size INTEGER, modified INTEGER, inode INTEGER, title TEXT, "
    "artist TEXT, album TEXT, genre TEXT, year TEXT, comment TEXT, track TEXT, seconds REAL, refusal TEXT) "
    "WITHOUT ROWID");

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

    // Every test has a song cache of its own, so none finds what another left.
    void init()
    {
        cacheHome = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome->path()));
    }
    void cleanup()
    {
        SongCache::waitForWrites();
        cacheHome.reset();
    }

    // A file that is not what the cache remembers is read again: another song under its name, the same
    // size with its tags edited and its modification time set back, or a row from before the cache kept
    // change times (read once, without building the cache anew).
    void changedFileIsReadAgain_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("key");
        QTest::newRow("another song under the same name") << "replaced"
                                                          << "short band\nseven";
        QTest::newRow("same-size tag edit, time kept") << "tag edit"
                                                       << "the beatles\nyesterdax";
        QTest::newRow("row from before change times") << "old cache"
                                                      << "the beatles\nyesterday";
    }
    void changedFileIsReadAgain()
    {
        QFETCH(QString, change);
        QFETCH(QString, key);
        QTemporaryDir folder;
        const QString path =
            agedCopy(folder, QStringLiteral("yesterday.mp3"), QStringLiteral("song.mp3"), 3600);
        QVERIFY(!path.isEmpty());
        const vimotest::LogMark mark;
        if (change == QLatin1String("old cache")) {
            const FileStamp stamp = FileStamp::of(path);
            QVERIFY(onCacheDatabase(
                {firstSchema, QStringLiteral("PRAGMA application_id = %1").arg(0x56696D6F),
                 QStringLiteral("PRAGMA user_version = 1"),
                 QStringLiteral(
                     "INSERT INTO songs VALUES ('%1', %2, %3, %4, 'Old Title', 'The Beatles', '', '', "
                     "'', '', '0', 120, '')")
                     .arg(path)
                     .arg(stamp.size)
                     .arg(stamp.modifiedNs)
                     .arg(qint64(stamp.inode))}));
        } else {
            TrackLibrary first(nullptr, nullptr);
            QCOMPARE(addFolderAt(first, folder.path()).accepted, 1);
            QVERIFY(cached(path).known);
        }
        if (change == QLatin1String("replaced")) {
            QVERIFY(!agedCopy(folder, QStringLiteral("seven-seconds.mp3"), QStringLiteral("song.mp3"), 7200)
                         .isEmpty());
        } else if (change == QLatin1String("tag edit")) {
            QFile song(path);
            const QDateTime modified = QFileInfo(path).lastModified();
            QVERIFY(song.open(QIODevice::ReadWrite));
            const qint64 at = song.readAll().indexOf("Yesterday");
            QVERIFY(at > 0 && song.seek(at + 8) && song.write("x") == 1 && song.flush());
            QVERIFY(song.setFileTime(modified, QFileDevice::FileModificationTime));
            song.close();
            QCOMPARE(QFileInfo(path).lastModified(), modified);
        }
        TrackLibrary second(nullptr, nullptr);
        QCOMPARE(addFolderAt(second, folder.path()).accepted, 1);
        QVERIFY(second.findBySearchKey(key));
        QCOMPARE(second.trackCount(), 1);
        QVERIFY(mark.messages().filter(cacheRebuilt).isEmpty());
        // What was read now is what the cache answers next time.
        QVERIFY(cached(path).known);
    }

    void damagedCacheIsBuiltAnewWithoutLosingASong_data()
    {
        QTest::addColumn<QByteArray>("setup");
        QTest::newRow("not a database") << QByteArray("garbage");
        QTest::newRow("another program's") << QByteArray("CREATE TABLE songs (name TEXT)");
        QTest::newRow("ours from another version") << QByteArray("PRAGMA user_version = 99");
        QTest::newRow("damaged body pages") << QByteArray("damaged");
    }
    void damagedCacheIsBuiltAnewWithoutLosingASong()
    {
        QFETCH(QByteArray, setup);
        const QString database = SongCache::databasePath();
        QVERIFY(QDir().mkpath(QFileInfo(database).absolutePath()));
        if (setup == "garbage") {
            QFile file(database);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(4096, '\x5a'));
        } else if (setup == "damaged") {
            // Three hundred rows of ours, then a few of their pages overwritten: the header, the first
            // rows and the lookup of the job's folder still read.
            QVERIFY(onCacheDatabase(
                {QString(firstSchema)
                     .replace(QStringLiteral("refusal TEXT)"),
                              QStringLiteral("refusal TEXT, changed INTEGER)")),
                 QStringLiteral("PRAGMA application_id = %1").arg(0x56696D6F),
                 QStringLiteral("PRAGMA user_version = 2"),
                 QStringLiteral(
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                     "INSERT INTO songs SELECT '/music/' || i, 1, 1, i, printf('%.300c', 'T'), 'A', '', "
                     "'', '', '', '0', 60, '', 1 FROM n")}));
            QFile file(database);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.size() > 24 * 4096);
            QVERIFY(file.seek(20 * 4096) && file.write(QByteArray(3 * 4096, '\x5a')) == 3 * 4096);
        } else {
            QSqlDatabase foreign =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
            foreign.setDatabaseName(database);
            QVERIFY(foreign.open());
            QVERIFY(QSqlQuery(foreign).exec(QString::fromLatin1(setup)));
            foreign.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("foreign"));

        const vimotest::LogMark mark;
        TrackLibrary library(nullptr, nullptr);
        QCOMPARE(addFolder(library, QStringLiteral("ranking")).accepted, 17);
        QCOMPARE(mark.messages().filter(cacheRebuilt).size(), 1);
        // The new cache keeps what this job read, and a second job takes it from there.
        QVERIFY(cached(fixture(QStringLiteral("ranking/pop-1.mp3"))).known);
        TrackLibrary again(nullptr, nullptr);
        QCOMPARE(addFolder(again, QStringLiteral("ranking")).accepted, 17);
        QCOMPARE(mark.messages().filter(cacheRebuilt).size(), 1);
    }

    void cachedRefusalLogsTheSameLine()
    {
        QTemporaryDir folder;
        QVERIFY(!agedCopy(folder, QStringLiteral("not-audio.mp3"), QStringLiteral("a.mp3"), 3600).isEmpty());
        QVERIFY(!agedCopy(folder, QStringLiteral("no-artist.mp3"), QStringLiteral("b.mp3"), 3600).isEmpty());
        QStringList lines[2];
        for (QStringList& refusals : lines) {
            const vimotest::LogMark mark;
            TrackLibrary library(nullptr, nullptr);
            QCOMPARE(addFolderAt(library, folder.path()).refused, 2);
            refusals = refusalLines(mark.messages());
            refusals.sort();
        }
        QCOMPARE(lines[0].size(), 2);
        QCOMPARE(lines[1], lines[0]);
        // The second time the reasons came from the cache.
        QCOMPARE(cached(folder.filePath(QStringLiteral("b.mp3"))).refusal, QByteArray("artist failed."));
    }

    // The songs the cache knows are made apart from the files that are read, and each result still comes
    // at its file's place in the job: known and read, accepted and refused, side by side.
    void knownAndReadFilesKeepTheirPlaces()
    {
        QTemporaryDir folder;
        QVERIFY(!agedCopy(folder, QStringLiteral("yesterday.mp3"), QStringLiteral("a.mp3"), 3600).isEmpty());
        QVERIFY(!agedCopy(folder, QStringLiteral("no-artist.mp3"), QStringLiteral("b.mp3"), 3600).isEmpty());
        {
            TrackLibrary first(nullptr, nullptr);
            QCOMPARE(addFolderAt(first, folder.path()).accepted, 1);
            SongCache::waitForWrites();
        }
        QVERIFY(
            !agedCopy(folder, QStringLiteral("seven-seconds.mp3"), QStringLiteral("c.mp3"), 3600).isEmpty());
        QVERIFY(!agedCopy(folder, QStringLiteral("not-audio.mp3"), QStringLiteral("d.mp3"), 3600).isEmpty());
        TrackLibrary second(nullptr, nullptr);
        QList<FileConstructor> files = second.filesBelow(QFileInfo(folder.path()));
        QCOMPARE(files.size(), 4);
        // Every song reaches the job's account of the songs it made, which frees them when it is cancelled.
        const auto account = std::make_shared<MadeTracks>();
        for (FileConstructor& file : files)
            file.madeTracks = account;
        QStringList known;
        for (const FileConstructor& file : files) {
            if (file.isKnown())
                known << QFileInfo(file.absolutePath).fileName();
        }
        known.sort();
        QCOMPARE(known, (QStringList{"a.mp3", "b.mp3"}));
        QFuture<Track*> job;
        QVERIFY(second.startJob(files, job));
        job.waitForFinished();
        QCOMPARE(job.resultCount(), files.size());
        for (int index = 0; index < files.size(); ++index) {
            const std::unique_ptr<Track> track(job.resultAt(index));
            const QString name = QFileInfo(files.at(index).absolutePath).fileName();
            QCOMPARE(track != nullptr, name == QLatin1String("a.mp3") || name == QLatin1String("c.mp3"));
            if (track) {
                QCOMPARE(track->filePath(), files.at(index).absolutePath);
                QVERIFY(account->claim(track.get()));
            }
        }
    }

    // Only a plain file is the cache: a link (to a file or to nowhere) or a folder at its name is left as
    // it is, said once in the log, and the songs are read without it.
    void nothingButAPlainFileIsTheCache_data()
    {
        QTest::addColumn<QString>("plant");
        QTest::newRow("link to a file") << "link";
        QTest::newRow("dangling link") << "dangling";
        QTest::newRow("folder") << "folder";
    }
    void nothingButAPlainFileIsTheCache()
    {
        QFETCH(QString, plant);
        const QString database = SongCache::databasePath();
        QVERIFY(QDir().mkpath(QFileInfo(database).absolutePath()));
        QTemporaryDir elsewhere;
        const QString target = elsewhere.filePath(QStringLiteral("target"));
        if (plant == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(database));
        } else {
            if (plant == QLatin1String("link")) {
                QFile file(target);
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep me") == 7);
            }
            QVERIFY(QFile::link(target, database));
        }
        const vimotest::LogMark mark;
        for (int job = 0; job < 2; ++job) {
            TrackLibrary library(nullptr, nullptr);
            QCOMPARE(addFolder(library, QStringLiteral("ranking")).accepted, 17);
        }
        SongCache::waitForWrites();
        QCOMPARE(mark.messages()
                     .filter(QStringLiteral("The song cache \"%1\" is not used: ").arg(database))
                     .size(),
                 1);
        QVERIFY(mark.messages().filter(cacheRebuilt).isEmpty());
        QCOMPARE(QFileInfo(database).isSymLink(), plant != QLatin1String("folder"));
        QCOMPARE(QFileInfo(database).isDir(), plant == QLatin1String("folder"));
        QCOMPARE(vimotest::readTextFile(target),
                 plant == QLatin1String("link") ? QStringLiteral("keep me") : QString());
        QCOMPARE(QFileInfo::exists(target), plant == QLatin1String("link"));
    }

    // A row its file's own reading could not have given is not taken: the file is read again, the song
    // keeps its real length, and a forged reason never reaches the log.
    void forgedRowsAreReadAgain_data()
    {
        QTest::addColumn<QString>("forgery");
        QTest::newRow("endless length") << "seconds = 9e999";
        QTest::newRow("no length") << "seconds = NULL";
        QTest::newRow("length beyond the limit") << "seconds = 1e12";
        QTest::newRow("negative length") << "seconds = -5";
        QTest::newRow("empty title") << "title = ''";
        QTest::newRow("untrimmed artist") << "artist = ' The Beatles'";
        QTest::newRow("forged reason")
            << "refusal = 'title failed.' || char(10) || '2026-12-08 21-00-00' || char(9) || '::' || "
               "char(9) || 'Forged' || char(27) || '[2K'";
        QTest::newRow("unknown reason") << "refusal = 'the file is lovely.'";
    }
    void forgedRowsAreReadAgain()
    {
        QFETCH(QString, forgery);
        QTemporaryDir folder;
        QVERIFY(!cachedSong(folder).isEmpty());
        QVERIFY(onCacheDatabase({QStringLiteral("UPDATE songs SET %1").arg(forgery)}));
        const vimotest::LogMark mark;
        TrackLibrary second(nullptr, nullptr);
        QCOMPARE(addFolderAt(second, folder.path()).accepted, 1);
        const Track* song = second.findBySearchKey(QStringLiteral("the beatles\nyesterday"));
        QVERIFY(song);
        const std::unique_ptr<Track> fresh(newTrack(QStringLiteral("yesterday.mp3")));
        QCOMPARE(song->seconds(), fresh->seconds());
        QVERIFY2(!mark.text().contains(QStringLiteral("Forged")) &&
                     !mark.text().contains(QStringLiteral("lovely")),
                 qPrintable(mark.text()));
        QVERIFY(refusalLines(mark.messages()).isEmpty());
    }

    // A cache written by the version before formats were kept is used as it is: its rows are MP3s, its
    // songs are not read again, and the file gains the new columns once.
    void cacheOfTheVersionBeforeKeepsItsSongs()
    {
        QTemporaryDir folder;
        const QString path =
            agedCopy(folder, QStringLiteral("yesterday.mp3"), QStringLiteral("song.mp3"), 3600);
        QVERIFY(!path.isEmpty());
        const FileStamp stamp = FileStamp::of(path);
        QVERIFY(onCacheDatabase(
            {QString(firstSchema)
                 .replace(QStringLiteral("refusal TEXT)"), QStringLiteral("refusal TEXT, changed INTEGER)")),
             QStringLiteral("PRAGMA application_id = %1").arg(0x56696D6F),
             QStringLiteral("PRAGMA user_version = 2"),
             QStringLiteral(
                 "INSERT INTO songs VALUES ('%1', %2, %3, %4, 'Cached Title', 'The Beatles', '', '', "
                 "'', '', '0', 120, '', %5)")
                 .arg(path)
                 .arg(stamp.size)
                 .arg(stamp.modifiedNs)
                 .arg(qint64(stamp.inode))
                 .arg(stamp.changedNs)}));
        const vimotest::LogMark mark;
        TrackLibrary library(nullptr, nullptr);
        QCOMPARE(addFolderAt(library, folder.path()).accepted, 1);
        const Track* song = library.findBySearchKey(QStringLiteral("the beatles\ncached title"));
        QVERIFY(song);
        QCOMPARE(song->tagInfo()->format, SongFormat::Mp3);
        QCOMPARE(song->seconds(), 120.0);
        QVERIFY(mark.messages().filter(cacheRebuilt).isEmpty());
        SongCache::waitForWrites();
        QVERIFY(onCacheDatabase({QStringLiteral("UPDATE songs SET loudness = -20, peak = 0.5")}));
        Loudness kept;
        QVERIFY(SongCache::storedLoudness(path, &kept));
        QCOMPARE(kept.integrated, -20.0);
    }

    // The row keeps the song's format; a format no version of the program wrote makes the file be read again.
    void formatIsKeptInTheRow()
    {
        QTemporaryDir folder;
        const QString path =
            agedCopy(folder, QStringLiteral("yesterday.mp3"), QStringLiteral("song.flac"), 3600);
        QVERIFY(!path.isEmpty());
        TagInfo tags;
        tags.title = QStringLiteral("Lossless");
        tags.artist = QStringLiteral("Rip");
        tags.seconds = 3;
        tags.format = SongFormat::Flac;
        SongCache::forJob(folder.path(), {path}, false)->remember(path, FileStamp::of(path), &tags, nullptr);
        SongCache::waitForWrites();
        {
            const auto cache = SongCache::forJob(folder.path(), {path}, false);
            const std::unique_ptr<TagInfo> known(cache->lookup(path, FileStamp::of(path)).tags);
            QVERIFY(known);
            QCOMPARE(known->format, SongFormat::Flac);
            QCOMPARE(known->title, tags.title);
        }
        QVERIFY(onCacheDatabase({QStringLiteral("UPDATE songs SET format = 'midi'")}));
        QVERIFY(!cached(path).known);
    }

    // A song's loudness measurement is kept with its row for as long as the row stands for the file.
    void loudnessIsKeptWithTheRow_data()
    {
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("kept");
        QTest::newRow("as measured") << QString() << true;
        QTest::newRow("file changed since") << "change" << false;
        QTest::newRow("forged value") << "UPDATE songs SET loudness = 1e300" << false;
        QTest::newRow("forged peak") << "UPDATE songs SET peak = -1" << false;
        QTest::newRow("no row for the file") << "DELETE FROM songs" << false;
    }
    void loudnessIsKeptWithTheRow()
    {
        QFETCH(QString, after);
        QFETCH(bool, kept);
        QTemporaryDir folder;
        const QString path = cachedSong(folder);
        QVERIFY(!path.isEmpty());
        Loudness loudness;
        QVERIFY(!SongCache::storedLoudness(path, &loudness));
        const Loudness measured = measuredAs(-14.5, 0.9);
        SongCache::storeLoudness(path, measured);
        SongCache::waitForWrites();
        if (after == QLatin1String("change"))
            QVERIFY(!agedCopy(folder, QStringLiteral("seven-seconds.mp3"), QStringLiteral("song.mp3"), 7200)
                         .isEmpty());
        else if (!after.isEmpty())
            QVERIFY(onCacheDatabase({after}));
        QCOMPARE(SongCache::storedLoudness(path, &loudness), kept);
        if (kept) {
            QCOMPARE(loudness.integrated, measured.integrated);
            QCOMPARE(loudness.truePeak, measured.truePeak);
            QVERIFY(loudness.measured);
        }
    }

    // What the party's loudness measuring hands over is kept, and the next party takes it instead of
    // decoding the song again (the kept value is changed here, so a new decode would show).
    void keptLoudnessIsNotMeasuredAgain()
    {
        QTemporaryDir folder;
        const QString path = cachedSong(folder);
        QVERIFY(!path.isEmpty());
        const LoudnessStore store{&SongCache::storedLoudness, &SongCache::storeLoudness};
        {
            LoudnessCache first(true);
            first.setStore(store);
            first.measure(path);
            QTRY_VERIFY(!std::isnan(first.gainFor(path)));
        }
        SongCache::waitForWrites();
        Loudness kept;
        QVERIFY(SongCache::storedLoudness(path, &kept));
        QCOMPARE(kept.integrated, measureLoudness(path).integrated);
        QVERIFY(onCacheDatabase({QStringLiteral("UPDATE songs SET loudness = -30, peak = 0.1")}));
        LoudnessCache second(true);
        second.setStore(store);
        second.measure(path);
        QTRY_VERIFY(!std::isnan(second.gainFor(path)));
        QCOMPARE(second.gainFor(path), normalizingGain(measuredAs(-30, 0.1)));
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

    void relayHandsOverEveryResultOnceAndQueuesTheNextJob()
    {
        QObject window;
        QMutex mutex;
        std::unique_ptr<TrackLibrary> library;
        int gridShown = 0;
        int refreshes = 0;
        QStringList progress;
        QList<QList<int>> ended;
        AddingRelay relay(&window, &mutex,
                          AddingView{[&library]() {
                                         library = std::make_unique<TrackLibrary>(nullptr, nullptr);
                                         return library.get();
                                     },
                                     [&gridShown]() { ++gridShown; }, [&refreshes]() { ++refreshes; },
                                     [&progress](const QString& text) { progress << text; },
                                     [&ended](int added, int duplicates, int unreadable, int) {
                                         ended << QList<int>{added, duplicates, unreadable};
                                     }});
        const vimotest::LogMark mark;
        {
            vimotest::PoolGate gate;
            relay.request([](const TrackLibrary& songs, FolderScan&) {
                return songs.filesBelow(QFileInfo(fixture(QStringLiteral("ranking"))));
            });
            // Requested while the first job runs: it waits for that job's end.
            relay.request([](const TrackLibrary& songs, FolderScan&) {
                return songs.listedFiles({fixture(QStringLiteral("yesterday.mp3")),
                                          fixture(QStringLiteral("ranking/pop-1.mp3")),
                                          fixture(QStringLiteral("not-audio.mp3"))});
            });
            QVERIFY(relay.isAdding());
            // The files are found off this thread; the job's first notification shows the grid.
            QTRY_COMPARE(gridShown, 1);
            // The last value may come before any result is ready; results not ready yet are left to
            // their own notifications.
            relay.progress(17);
            QCOMPARE(library->trackCount(), 0);
        }
        QVERIFY(mark.waitForJobEnds(2));
        QVERIFY(!relay.isAdding());
        QCOMPARE(library->trackCount(), 18);
        QCOMPARE(gridShown, 1);
        QVERIFY(refreshes >= 2);
        QCOMPARE(progress.last(), QString());
        // Each job's end tells the window what it added and refused, for its notice.
        QCOMPARE(ended, (QList<QList<int>>{{17, 0, 0}, {1, 1, 1}}));
        const QStringList messages = mark.messages();
        QCOMPARE(messages.filter(QStringLiteral("Starting to add")),
                 (QStringList{QStringLiteral("Starting to add 17 files to Vimo."),
                              QStringLiteral("Starting to add 3 files to Vimo.")}));
        QVERIFY(messages.lastIndexOf(QStringLiteral("Start of ADDING files")) >
                messages.indexOf(QStringLiteral("Adding of files has finished.")));
        QVERIFY(messages.contains(QStringLiteral(
            "1 files were not imported because they are duplicates (same artist and same title).")));
        QCOMPARE(messages.last(), QStringLiteral("1 files were not imported because they have no artist and "
                                                 "title ID3 tags (up to version 2.2 is supported) or are "
                                                 "corrupt."));
        // Late notifications of an ended job change nothing.
        relay.resultReady(0);
        relay.progress(3);
        relay.end(false);
        QCOMPARE(mark.messages(), messages);
        QCOMPARE(library->trackCount(), 18);
    }

    void scanTellsWhatItCouldNotRead_data()
    {
        QTest::addColumn<QString>("scanned");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QStringList>("unreadable");
        QTest::newRow("a subfolder cannot be read")
            << "" << false << QStringList{"ok.mp3"} << QStringList{"locked"};
        QTest::newRow("the folder itself cannot be read")
            << "locked" << false << QStringList() << QStringList{"locked"};
        QTest::newRow("cancelled") << "" << true << QStringList() << QStringList();
    }

    // A folder that cannot be read is named, so its songs are not missing without a word; a cancelled scan
    // finds nothing. As root, whom permissions do not keep from reading, the scan runs as nobody.
    void scanTellsWhatItCouldNotRead()
    {
        QFETCH(QString, scanned);
        QFETCH(bool, cancelled);
        QFETCH(QStringList, found);
        QFETCH(QStringList, unreadable);
        // Below /tmp, which everyone may pass through, unlike the suite's own home.
        QTemporaryDir root(QStringLiteral("/tmp/vimo-scan-XXXXXX"));
        const QDir folder(root.path());
        QVERIFY(folder.mkpath(QStringLiteral("locked")));
        QVERIFY(touch(folder.filePath(QStringLiteral("ok.mp3"))));
        QVERIFY(touch(folder.filePath(QStringLiteral("locked/hidden-away.mp3"))));
        QVERIFY(QFile::setPermissions(root.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                       QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                       QFile::ExeOther));
        QVERIFY(QFile::setPermissions(folder.filePath(QStringLiteral("ok.mp3")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                          QFile::ReadOther));
        QVERIFY(QFile::setPermissions(folder.filePath(QStringLiteral("locked")), QFileDevice::Permissions()));

        FolderScan scan;
        scan.cancelled = cancelled;
        QStringList paths;
        const bool asRoot = ::geteuid() == 0;
        QVERIFY(!asRoot || ::seteuid(65534) == 0);
        scanFolder(QFileInfo(folder.filePath(scanned)), paths, &scan);
        QVERIFY(!asRoot || ::seteuid(0) == 0);
        QVERIFY(QFile::setPermissions(folder.filePath(QStringLiteral("locked")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        for (QString& path : paths)
            path = folder.relativeFilePath(path);
        for (QString& path : scan.unreadableFolders)
            path = folder.relativeFilePath(path);
        QCOMPARE(paths, found);
        QCOMPARE(scan.unreadableFolders, unreadable);
    }

    void requestThatFindsNothingEndsInTheLog_data()
    {
        QTest::addColumn<QStringList>("unreadableFolders");
        QTest::addColumn<QStringList>("closing");
        QTest::newRow("an empty folder")
            << QStringList()
            << QStringList{"Adding of files has finished.", "0 files are now available in Vimo."};
        QTest::newRow("a folder that cannot be read")
            << QStringList{"/party/locked"}
            << QStringList{"Adding of files has finished.", "0 files are now available in Vimo.",
                           "1 folders could not be read; their songs were not added."};
    }

    // A request whose scan finds no song ends in the log like any job, and tells of what it could not read.
    void requestThatFindsNothingEndsInTheLog()
    {
        QFETCH(QStringList, unreadableFolders);
        QFETCH(QStringList, closing);
        QObject window;
        QMutex mutex;
        std::unique_ptr<TrackLibrary> library;
        QList<QList<int>> ended;
        AddingRelay relay(&window, &mutex,
                          AddingView{[&library]() {
                                         library = std::make_unique<TrackLibrary>(nullptr, nullptr);
                                         return library.get();
                                     },
                                     []() {}, []() {}, [](const QString&) {},
                                     [&ended](int added, int duplicates, int unreadable, int folders) {
                                         ended << QList<int>{added, duplicates, unreadable, folders};
                                     }});
        const vimotest::LogMark mark;
        relay.request([unreadableFolders](const TrackLibrary&, FolderScan& scan) {
            scan.unreadableFolders = unreadableFolders;
            return QList<FileConstructor>();
        });
        QTRY_VERIFY(!relay.isAdding());
        const QStringList messages = mark.messages();
        QCOMPARE(messages.mid(messages.indexOf(QStringLiteral("Start of ADDING files"))),
                 QStringList{"Start of ADDING files"} + closing);
        const QList<QList<int>> told{{0, 0, 0, 1}};
        QCOMPARE(ended, unreadableFolders.isEmpty() ? QList<QList<int>>() : told);
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
        // Every song format's ending, in any letter case; a name that merely contains one is no song.
        const QStringList formats{QStringLiteral("e.flac"), QStringLiteral("f.OGG"), QStringLiteral("g.oga"),
                                  QStringLiteral("h.Opus"), QStringLiteral("i.m4a"), QStringLiteral("j.mp4"),
                                  QStringLiteral("k.WAV")};
        for (const QString& name : formats)
            QVERIFY(touch(folder.filePath(name)));
        QVERIFY(touch(folder.filePath(QStringLiteral("l.aac"))));
        QVERIFY(touch(folder.filePath(QStringLiteral("m.flac.part"))));
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
        QCOMPARE(relative.size(), 6 + formats.size());
        // The folder's own files come before those of its subfolders, and a subfolder's before its own.
        const QStringList own = relative.mid(0, 3 + formats.size());
        const QSet<QString> expected =
            QSet<QString>(formats.begin(), formats.end()) +
            QSet<QString>{QStringLiteral("a.mp3"), QStringLiteral("LOUD.MP3"), QStringLiteral(".secret.mp3")};
        QCOMPARE(QSet<QString>(own.begin(), own.end()), expected);
        QVERIFY(relative.contains(QStringLiteral(".hidden/d.mp3")));
        QVERIFY(relative.indexOf(QStringLiteral("sub/b.mp3")) <
                relative.indexOf(QStringLiteral("sub/deeper/c.mp3")));
    }

private:
    std::unique_ptr<QTemporaryDir> cacheHome;
};

VIMO_TEST_MAIN(TestLibrary)
#include "tst_library.moc"
