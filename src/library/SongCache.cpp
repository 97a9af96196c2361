// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/SongCache.h"

#include "audio/Loudness.h"
#include "base/plainfile.h"
#include "base/runlog.h"
#include "library/Track.h"
#include "tags/tags.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>
#include <QVariant>
#include <QtConcurrent>

#include <atomic>
#include <cmath>
#include <limits>
#include <sys/stat.h>

namespace {

// Marks the file as ours ("Vimo") and says what its rows mean; a file with other marks is built anew.
constexpr int applicationId = 0x56696D6F;
// 2: the rows have the files' change times. A file of version 1 gets the column; its rows have none, so
// each of their files is read once more and its row replaced.
// 3: the rows have the song's format and, once it is measured, its loudness. A row of an older file has
// neither: it was an MP3 (nothing else was read then), and its loudness is measured when it plays.
constexpr int schemaVersion = 3;
constexpr int oldestVersion = 1;
// The columns the versions after the first added, in order, and how many of them a file of each version has.
const char* const addedColumns[] = {"changed INTEGER", "format TEXT", "loudness REAL", "peak REAL"};
constexpr int columnsOfVersion[] = {0, 0, 1, 4};
// Every column, in the order a row is stored and read.
const QString columns = QStringLiteral("path, size, modified, inode, title, artist, album, genre, year, "
                                       "comment, track, seconds, refusal, changed, format");
// Rows are stored in batches of this many, each batch one transaction.
constexpr int batchSize = 2000;
// A file changed within this time of its reading may change again within the same tick of the file
// system's clock, unseen by its stamp: its result is not kept.
constexpr qint64 settlingNs = 2'000'000'000;
// A second Vimo writing the cache holds it this long at most before this one goes without it.
const QString busyTimeout = QStringLiteral("QSQLITE_BUSY_TIMEOUT=500");

// The single writer: one thread, so the database is written by one connection at a time.
QThreadPool& writer()
{
    static QThreadPool* pool = []() {
        auto* made = new QThreadPool;
        made->setMaxThreadCount(1);
        // Qt's SQL drivers need the application object: the last writes are done before it goes.
        qAddPostRoutine(SongCache::waitForWrites);
        return made;
    }();
    return *pool;
}

// A cache that cannot be used is told once a run; one that has been built anew works again afterwards.
std::atomic<bool> bypassLogged{false};

// The database whose integrity this run has checked, and the one whose refusal it has logged: each once.
// Used on the writer's thread only.
struct DoneThisRun
{
    QString checked;
    QString refused;
};
DoneThisRun& doneThisRun()
{
    static DoneThisRun done;
    return done;
}

// Whatever is at the database's name or its journal's that is not a plain file is left alone: SQLite
// would write through a link, and a folder there would make every job start the cache anew.
bool refusedAt(const QString& path)
{
    QString refusal = plainFileRefusal(path);
    if (refusal.isEmpty())
        refusal = plainFileRefusal(path + QStringLiteral("-journal"));
    if (refusal.isEmpty())
        return false;
    if (doneThisRun().refused != path) {
        doneThisRun().refused = path;
        logMessage(SongCache::tr("The song cache \"%1\" is not used: %2; songs are read without it.")
                       .arg(QDir::toNativeSeparators(path), refusal));
    }
    return true;
}

// One connection of its own for the thread that uses it, closed when done.
class Connection
{
public:
    Connection()
    {
        static std::atomic<int> serial{0};
        name = QStringLiteral("songcache-%1-%2")
                   .arg(quintptr(QThread::currentThreadId()))
                   .arg(serial.fetch_add(1));
    }
    ~Connection()
    {
        {
            QSqlDatabase database = QSqlDatabase::database(name, false);
            database.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens the cache, building it anew when it is damaged or not ours; false when it cannot be used.
    bool open()
    {
        const QString path = SongCache::databasePath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (refusedAt(path))
            return false;
        bool locked = false;
        if (openAs(path, locked) && intact(path, locked))
            return true;
        if (locked)
            return bypass();
        {
            QSqlDatabase database = QSqlDatabase::database(name, false);
            database.close();
        }
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        logMessage(SongCache::tr("The song cache could not be read and has been started anew."));
        return openAs(path, locked) || bypass();
    }

    QSqlDatabase database() const { return QSqlDatabase::database(name, false); }

private:
    bool bypass()
    {
        if (!bypassLogged.exchange(true))
            logMessage(
                SongCache::tr("The song cache is busy or cannot be written; songs are read without it."));
        return false;
    }

    // Damaged pages read as fewer rows, and writes to them fail, with no error where the rows are read:
    // the whole file is checked once a run.
    bool intact(const QString& path, bool& locked)
    {
        if (doneThisRun().checked == path)
            return true;
        QSqlQuery query(database());
        if (!query.exec(QStringLiteral("PRAGMA quick_check(1)")) || !query.next()) {
            locked = isBusy(query.lastError());
            return false;
        }
        if (query.value(0).toString() != QLatin1String("ok"))
            return false;
        doneThisRun().checked = path;
        return true;
    }

    static bool isBusy(const QSqlError& error)
    {
        return error.nativeErrorCode() == QLatin1String("5") || error.nativeErrorCode() == QLatin1String("6");
    }

    bool openAs(const QString& path, bool& locked)
    {
        QSqlDatabase database = QSqlDatabase::contains(name)
                                    ? QSqlDatabase::database(name, false)
                                    : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(path);
        database.setConnectOptions(busyTimeout);
        if (!database.open())
            return false;
        QSqlQuery query(database);
        if (!query.exec(QStringLiteral("PRAGMA application_id")) || !query.next()) {
            locked = isBusy(query.lastError());
            return false;
        }
        const int id = query.value(0).toInt();
        if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
            locked = isBusy(query.lastError());
            return false;
        }
        const int version = query.value(0).toInt();
        // A statement still open would keep the table from being altered.
        query.finish();
        if (id == applicationId && version >= oldestVersion && version < schemaVersion &&
            !addMissingColumns(database, version, locked))
            return false;
        if (id == applicationId && version >= oldestVersion && version <= schemaVersion)
            return query.exec(QStringLiteral("SELECT count(*) FROM songs WHERE path = ''")) ||
                   (locked = isBusy(query.lastError()), false);
        if (id != 0 || version != 0)
            return false; // someone else's file, or ours from another version
        if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !query.next() ||
            query.value(0).toInt() != 0) {
            locked = isBusy(query.lastError());
            return false;
        }
        // A new file: the marks are set with the table, in one transaction.
        return database.transaction() &&
               query.exec(
                   QStringLiteral("CREATE TABLE songs (path TEXT PRIMARY KEY, size INTEGER, modified "
                                  "INTEGER, inode INTEGER, title TEXT, artist TEXT, album TEXT, genre "
                                  "TEXT, year TEXT, comment TEXT, track TEXT, seconds REAL, refusal TEXT, "
                                  "changed INTEGER, format TEXT, loudness REAL, peak REAL) WITHOUT ROWID")) &&
               query.exec(QStringLiteral("PRAGMA application_id = %1").arg(applicationId)) &&
               query.exec(QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion)) && database.commit();
    }

    // A file an older version of the program wrote keeps its rows: it gains the columns it lacks.
    static bool addMissingColumns(QSqlDatabase& database, int version, bool& locked)
    {
        QSqlQuery query(database);
        bool done = database.transaction();
        for (int column = columnsOfVersion[version]; done && column < columnsOfVersion[schemaVersion];
             ++column)
            done = query.exec(QStringLiteral("ALTER TABLE songs ADD COLUMN ") +
                              QLatin1String(addedColumns[column]));
        if (done && query.exec(QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion)) &&
            database.commit())
            return true;
        locked = isBusy(query.lastError());
        database.rollback();
        return false;
    }

    QString name;
};

// The upper end of the paths that begin with `folder` and a slash, in the database's byte order.
QString pastFolder(const QString& folderWithSlash)
{
    QString past = folderWithSlash;
    past[past.size() - 1] = QChar(QLatin1Char('/').unicode() + 1);
    return past;
}

// A row is taken only as a file's own reading could have given it: a reason of the reading's own, or tags
// with a title and an artist as read and a finite length within the library's limits.
bool trustworthy(SongCache::Row& row)
{
    if (!row.refusal.isEmpty()) {
        const char* reason = knownRefusal(row.refusal);
        row.refusal = QByteArray(reason);
        return reason != nullptr;
    }
    const TagInfo& tags = row.tags;
    const auto asRead = [](const QString& text) { return text == text.trimmed(); };
    return !tags.title.isEmpty() && !tags.artist.isEmpty() && asRead(tags.title) && asRead(tags.artist) &&
           asRead(tags.album) && asRead(tags.year) && asRead(tags.comment) && std::isfinite(tags.seconds) &&
           tags.seconds > 0 && tags.seconds <= maximumTrackSeconds;
}

void store(const QVector<SongCache::Row>& rows, const QStringList& gone)
{
    Connection connection;
    if (!connection.open())
        return;
    QSqlDatabase database = connection.database();
    if (!database.transaction())
        return;
    QSqlQuery remove(database);
    remove.prepare(QStringLiteral("DELETE FROM songs WHERE path = ?"));
    for (const QString& path : gone) {
        remove.addBindValue(path);
        remove.exec();
    }
    QSqlQuery insert(database);
    // A new row has no loudness: the file has changed, or was never measured.
    insert.prepare(
        QStringLiteral("INSERT OR REPLACE INTO songs (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                       "?, ?, ?, ?)")
            .arg(columns));
    for (const SongCache::Row& row : rows) {
        insert.addBindValue(row.path);
        insert.addBindValue(row.stamp.size);
        insert.addBindValue(row.stamp.modifiedNs);
        insert.addBindValue(qint64(row.stamp.inode));
        insert.addBindValue(row.tags.title);
        insert.addBindValue(row.tags.artist);
        insert.addBindValue(row.tags.album);
        insert.addBindValue(row.tags.genre);
        insert.addBindValue(row.tags.year);
        insert.addBindValue(row.tags.comment);
        insert.addBindValue(row.tags.trackNumber);
        insert.addBindValue(row.tags.seconds);
        insert.addBindValue(QString::fromLatin1(row.refusal));
        insert.addBindValue(row.stamp.changedNs);
        insert.addBindValue(QString::fromLatin1(formatKey(row.tags.format)));
        insert.exec();
    }
    if (!database.commit())
        database.rollback();
}

// Binds the stamp of a file's row to a query that picks the row by path and stamp.
void bindStampedPath(QSqlQuery& query, const QString& path, const FileStamp& stamp)
{
    query.addBindValue(path);
    query.addBindValue(stamp.size);
    query.addBindValue(stamp.modifiedNs);
    query.addBindValue(qint64(stamp.inode));
    query.addBindValue(stamp.changedNs);
}
const QString ofStampedPath =
    QStringLiteral("WHERE path = ? AND size = ? AND modified = ? AND inode = ? AND changed = ?");

// A measurement the R128 code could have given (silence measures minus infinity); anything else in the
// row is measured anew.
bool plausible(const Loudness& loudness)
{
    return (loudness.integrated == -std::numeric_limits<double>::infinity() ||
            (loudness.integrated >= -200 && loudness.integrated <= 20)) &&
           loudness.truePeak >= 0 && loudness.truePeak <= 100;
}

} // namespace

bool SongCache::storedLoudness(const QString& path, Loudness* loudness)
{
    const FileStamp stamp = FileStamp::of(path);
    if (stamp.size < 0)
        return false;
    Loudness stored;
    const bool found = QtConcurrent::run(&writer(), [&path, &stamp, &stored]() {
                           Connection connection;
                           if (!connection.open())
                               return false;
                           QSqlQuery query(connection.database());
                           query.prepare(QStringLiteral("SELECT loudness, peak FROM songs ") + ofStampedPath +
                                         QStringLiteral(" AND loudness IS NOT NULL AND peak IS NOT NULL"));
                           bindStampedPath(query, path, stamp);
                           if (!query.exec() || !query.next())
                               return false;
                           stored.integrated = query.value(0).toDouble();
                           stored.truePeak = query.value(1).toDouble();
                           stored.measured = true;
                           return true;
                       }).result();
    if (!found || !plausible(stored))
        return false;
    *loudness = stored;
    return true;
}

void SongCache::storeLoudness(const QString& path, const Loudness& loudness)
{
    const FileStamp stamp = FileStamp::of(path);
    if (stamp.size < 0 || !loudness.measured || !plausible(loudness))
        return;
    // Only a row of the file as it is now takes it; a file without one has its measurement made again.
    QtConcurrent::run(&writer(), [path, stamp, loudness]() {
        Connection connection;
        if (!connection.open())
            return;
        QSqlQuery query(connection.database());
        query.prepare(QStringLiteral("UPDATE songs SET loudness = ?, peak = ? ") + ofStampedPath);
        query.addBindValue(loudness.integrated);
        query.addBindValue(loudness.truePeak);
        bindStampedPath(query, path, stamp);
        query.exec();
    });
}

FileStamp FileStamp::of(const QString& path)
{
    FileStamp stamp;
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return stamp;
    stamp.size = qint64(status.st_size);
    stamp.modifiedNs = qint64(status.st_mtim.tv_sec) * 1'000'000'000 + qint64(status.st_mtim.tv_nsec);
    stamp.inode = quint64(status.st_ino);
    stamp.changedNs = qint64(status.st_ctim.tv_sec) * 1'000'000'000 + qint64(status.st_ctim.tv_nsec);
    return stamp;
}

QString SongCache::databasePath()
{
    // The cache folder Qt gives the program (organisation "Talvoren", application "Vimo"), spelled out so
    // that the benchmarks and a new version find the same file.
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Talvoren/Vimo/songs.sqlite");
}

std::shared_ptr<SongCache> SongCache::forJob(const QString& folder, const QStringList& files, bool prune)
{
    QString below = folder;
    if (!below.endsWith(QLatin1Char('/')))
        below += QLatin1Char('/');
    std::shared_ptr<SongCache> cache(new SongCache);
    QStringList gone;
    // Read on the writer's thread, in turn with the writes of the job before.
    const bool opened =
        QtConcurrent::run(&writer(), [&cache, &below, &files, &gone, prune]() {
            Connection connection;
            if (!connection.open())
                return false;
            QSqlQuery query(connection.database());
            query.setForwardOnly(true);
            query.prepare(QStringLiteral("SELECT %1 FROM songs WHERE path >= ? AND path < ?").arg(columns));
            query.addBindValue(below);
            query.addBindValue(pastFolder(below));
            if (!query.exec())
                return false;
            while (query.next()) {
                Row row;
                row.path = query.value(0).toString();
                row.stamp.size = query.value(1).toLongLong();
                row.stamp.modifiedNs = query.value(2).toLongLong();
                row.stamp.inode = quint64(query.value(3).toLongLong());
                row.tags.title = query.value(4).toString();
                row.tags.artist = query.value(5).toString();
                row.tags.album = query.value(6).toString();
                row.tags.genre = query.value(7).toString();
                row.tags.year = query.value(8).toString();
                row.tags.comment = query.value(9).toString();
                row.tags.trackNumber = query.value(10).toString();
                row.tags.seconds = query.value(11).toDouble();
                row.refusal = query.value(12).toString().toLatin1();
                // NULL in a row from before change times were kept: never matches.
                row.stamp.changedNs = query.value(13).toLongLong();
                // NULL in a row from before formats were kept: only MP3s were read then.
                const bool formatKnown =
                    query.isNull(14) ||
                    formatFromKey(query.value(14).toString().toLatin1(), &row.tags.format);
                if (formatKnown && trustworthy(row))
                    cache->rows.insert(row.path, row);
            }
            if (prune) {
                // What the listing of the folder no longer has is gone from the disk.
                QHash<QString, Row> seen;
                for (const QString& path : files) {
                    const auto known = cache->rows.constFind(path);
                    if (known != cache->rows.cend())
                        seen.insert(path, known.value());
                }
                for (auto row = cache->rows.cbegin(); row != cache->rows.cend(); ++row)
                    if (!seen.contains(row.key()))
                        gone << row.key();
                cache->rows.swap(seen);
            }
            return true;
        }).result();
    if (!opened)
        return nullptr;
    if (!gone.isEmpty())
        QtConcurrent::run(&writer(), [gone]() { store({}, gone); });
    return cache;
}

SongCache::~SongCache()
{
    QMutexLocker lock(&pendingMutex);
    if (!pending.isEmpty())
        flush(std::move(pending));
}

SongCache::Known SongCache::lookup(const QString& path, const FileStamp& stamp) const
{
    Known found;
    const TagInfo* tags = nullptr;
    const char* refusal = nullptr;
    if (!recall(path, stamp, &tags, &refusal))
        return found;
    found.known = true;
    if (tags)
        found.tags = new TagInfo(*tags);
    else
        found.refusal = refusal;
    return found;
}

bool SongCache::recall(const QString& path, const FileStamp& stamp, const TagInfo** tags,
                       const char** refusal) const
{
    const auto row = rows.constFind(path);
    if (stamp.size < 0 || row == rows.cend() || !(row->stamp == stamp))
        return false;
    *tags = row->refusal.isEmpty() ? &row->tags : nullptr;
    *refusal = row->refusal.isEmpty() ? nullptr : row->refusal.constData();
    return true;
}

void SongCache::remember(const QString& path, const FileStamp& stamp, const TagInfo* tags,
                         const char* refusal)
{
    if (stamp.size < 0 || (!tags && !refusal) ||
        QDateTime::currentMSecsSinceEpoch() * 1'000'000 - stamp.modifiedNs < settlingNs)
        return;
    Row row;
    row.path = path;
    row.stamp = stamp;
    if (tags) {
        row.tags = *tags;
    } else {
        row.refusal = refusal;
    }
    QMutexLocker lock(&pendingMutex);
    pending.append(row);
    if (pending.size() >= batchSize) {
        flush(std::move(pending));
        pending.clear();
    }
}

void SongCache::flush(QVector<Row>&& batch) const
{
    QtConcurrent::run(&writer(), [batch]() { store(batch, {}); });
}

void SongCache::waitForWrites()
{
    writer().waitForDone();
}
