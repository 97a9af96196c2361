// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/Foreigner.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QVector>

#include <functional>

class FileConstructor;
struct FolderScan;
class QFileInfo;
class QStringList;
class Track;

// The run's one collection of songs, keyed by search key so that a song (artist and title, letter case
// and outer blanks ignored) is there once. Songs of a running adding job wait in a pending list that the
// table already shows; the job's end merges them and ranks the genres by their number of songs.
//
// Called on the GUI thread; every operation still takes its own locks, always in the order tracks,
// pending, genres, so that each is atomic against the others.
class TrackLibrary
{
public:
    // `syncProc` and `syncReceiver` reach every song's player, to report its end.
    TrackLibrary(SyncProc syncProc, void* syncReceiver);
    // Deletes every song, merged or pending: the library is the last owner of its tracks, and the main
    // window deletes it only once no job, queue or dialog uses them any more. A stream still playing
    // keeps its file and plays on to its end.
    ~TrackLibrary();
    TrackLibrary(const TrackLibrary&) = delete;
    TrackLibrary& operator=(const TrackLibrary&) = delete;

    // True exactly once: for the first progress or result notification of the first adding job.
    bool takeFirstNotification();

    // Songs merged plus songs pending.
    int trackCount() const;

    // Takes ownership of a finished track. True: it waits in the pending list. False: it was a duplicate
    // of a merged or pending song and has been deleted, or it was null or already handed over.
    bool addPendingTrack(Track* track);

    // Moves the pending songs into the library and ranks the genres anew; at the end of every job.
    void mergePending();

    // The genre at place `index` of the ranking (0: most songs); "" outside the ranking.
    QString genreAt(int index) const;

    // Songs neither played nor playing (queued ones included), merged ones in key order, then pending
    // ones; with `onlyInGenreFilter` only those the current genre filter shows.
    QList<Track*> selectableTracks(bool onlyInGenreFilter) const;
    static bool isSelectable(const Track* track, bool onlyInGenreFilter);
    // The song at `index` of the merged songs in key order followed by the pending ones, or null.
    Track* trackAt(int index) const;

    // The song with this search key (the lower case of a library cell's text), or null.
    Track* findBySearchKey(const QString& key) const;

    // Every merged song becomes free again, its stream closed.
    void resetPlayedMarks();

    // The files of a request, found on any thread (a large folder takes a while): every MP3 file below the
    // folder (none when it is no folder); each listed path as a file; each dropped folder's MP3 files and
    // each other dropped entry as a file, in the order given. A folder scan reports to `scan` when given;
    // nothing is found once it is cancelled.
    QList<FileConstructor> filesBelow(const QFileInfo& folder, FolderScan* scan = nullptr) const;
    QList<FileConstructor> listedFiles(const QStringList& files) const;
    QList<FileConstructor> droppedFiles(const QStringList& entries, FolderScan* scan = nullptr) const;

    // Whether files seen in an earlier run are looked up in the song cache (on by default).
    void useSongCache(bool on) { songCacheUsed = on; }

    // Start an adding job on the global thread pool for the files; `job` then yields one track or null per
    // file, in the files' order. False when there is nothing to add.
    bool startJob(const QList<FileConstructor>& files, QFuture<Track*>& job);
    // The same for the files found as above, found on this thread.
    bool startAdding(const QStringList& files, QFuture<Track*>& job);
    bool startAddingFolder(const QFileInfo& folder, QFuture<Track*>& job);

    // Walk the merged songs in key order, or the pending songs in their order, holding the matching lock.
    // `visit` must not call back into the library.
    void forEachTrack(const std::function<void(Track*)>& visit) const;
    void forEachPendingTrack(const std::function<void(Track*)>& visit) const;

private:
    // Gives the files the song cache of everything below `folder` (with `prune`, they are all of it) and
    // marks those it knows as they are. With `checkReadable`, each file it does not know is left out, with
    // a line in the log, when it cannot be read. Nothing at all while the cache is switched off.
    void attachSongCache(QList<FileConstructor>& files, const QString& folder, bool prune,
                         bool checkReadable) const;
    // The song with this search key among the merged ones, or null.
    Track* mergedSong(const QString& key) const;

    bool songCacheUsed = true;
    bool firstNotificationPending = true;
    // The merged songs in key order: walked and drawn from in one block of memory, found by binary search.
    QVector<Track*> tracks;
    mutable QMutex tracksMutex;
    QList<Track*> pending;
    // The pending songs by search key: a job of thousands of files checks each new one at once, and they
    // join the library in key order. Their genres are counted as they come.
    QMap<QString, Track*> pendingByKey;
    QHash<QString, int> pendingGenres;
    mutable QMutex pendingMutex;
    QMap<QString, int> genreCounts;
    QMap<int, QString> genreRanking;
    mutable QMutex genreMutex;
    SyncProc endSyncProc = nullptr;
    void* endSyncReceiver = nullptr;
};
