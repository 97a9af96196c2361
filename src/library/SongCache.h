// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVector>

#include "library/Track.h"

#include <memory>

struct Loudness;

// What one stat of a file tells; a file whose stamp differs from the remembered one is read again.
struct FileStamp
{
    qint64 size = -1; // -1: the file could not be looked at
    qint64 modifiedNs = 0;
    quint64 inode = 0;
    // The change time: a tagger or `cp -p` can set the modification time back, and a new file can get
    // the inode of a deleted one, but no tool can set this back.
    qint64 changedNs = 0;

    static FileStamp of(const QString& path);
    bool operator==(const FileStamp& other) const
    {
        return size == other.size && modifiedNs == other.modifiedNs && inode == other.inode &&
               changedNs == other.changedNs;
    }
};

// The results of reading song files, kept from run to run in an SQLite database in the user's cache
// folder, so that a file seen before costs one stat instead of a read. One object serves one adding job:
// made when the job's files have been found (off the GUI thread), it reads every row below the job's
// folder at once; the files are looked up in that copy, those it knows in one pass before the job, and
// the pool threads hand the fresh results of the others over, which a single writer thread stores in
// batched transactions.
//
// The cache only ever answers for a file the job found on disk and whose size, modification and change
// times and inode are what they were; anything it cannot trust (a damaged or foreign database, a row its
// file's own reading could not have given) counts as unknown, so the file is read as if there were no
// cache. A link or anything but a plain file at the database's name is never opened.
class SongCache
{
    Q_DECLARE_TR_FUNCTIONS(SongCache)

public:
    // For a job over `files`, all below `folder`. With `prune`, `files` is the whole listing of the
    // folder: rows of files below it that are gone are dropped. Null when the cache cannot be used (the
    // log says why, once).
    static std::shared_ptr<SongCache> forJob(const QString& folder, const QStringList& files, bool prune);
    ~SongCache();
    SongCache(const SongCache&) = delete;
    SongCache& operator=(const SongCache&) = delete;

    struct Known
    {
        bool known = false;
        TagInfo* tags = nullptr; // an accepted song's tags, the caller's to own
        QByteArray refusal;      // a refused file's reason, as it was logged
    };
    // What the cache knows of the file as it is now; thread-safe.
    Known lookup(const QString& path, const FileStamp& stamp) const;
    // The same without a copy: the cache's own record of an accepted song, or a refused file's reason (the
    // other null), valid as long as the cache; false when the file must be read. Thread-safe.
    bool recall(const QString& path, const FileStamp& stamp, const TagInfo** tags,
                const char** refusal) const;
    // A fresh result: an accepted song's tags, or the reason it was refused; thread-safe.
    void remember(const QString& path, const FileStamp& stamp, const TagInfo* tags, const char* refusal);

    // A song's loudness measurement, kept in its file's row for as long as the row stands for the file as
    // it is (the same stamp): a song is decoded for its loudness once in its life, not at every party.
    // Both wait for the cache's writer thread: call them on the thread pool, never on the GUI thread.
    static bool storedLoudness(const QString& path, Loudness* loudness);
    static void storeLoudness(const QString& path, const Loudness& loudness);

    // The database file: the program's cache folder, whatever program of ours asks.
    static QString databasePath();
    // Waits until everything handed over is stored; before the application object goes.
    static void waitForWrites();

    struct Row
    {
        QString path;
        FileStamp stamp;
        TagInfo tags; // of an accepted song
        QByteArray refusal;
    };

private:
    SongCache() = default;
    void flush(QVector<Row>&& batch) const;

    QHash<QString, Row> rows;
    mutable QMutex pendingMutex;
    QVector<Row> pending;
};
