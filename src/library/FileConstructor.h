// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/Foreigner.h"

#include <QMutex>
#include <QSet>
#include <QString>
#include <QVector>

#include <memory>

class SongCache;
class Track;
struct TagInfo;
class TrackLibrary;

// Every song a job's files make, until the job's owner claims it. A cancelled job's pool drops the
// results it reports after the cancellation, so only this list still knows those songs and can free them.
class MadeTracks
{
public:
    void made(Track* track);
    // Many at once, under one lock.
    void made(const QVector<Track*>& tracks);
    // The owner takes `track` over; false when it was not made here (or taken already).
    bool claim(Track* track);
    // Frees every song nobody claimed; only once the job has ended.
    void freeUnclaimed();

private:
    QMutex mutex;
    QSet<Track*> unclaimed;
};

// One file of an adding job; the job maps each of these to a track on the global thread pool.
class FileConstructor
{
public:
    FileConstructor(const QString& path, SyncProc endSyncProc, void* endSyncReceiver,
                    const TrackLibrary* library);
    // For a file a folder scan has just found by its absolute path: it exists, and asking again for every
    // file of a large collection would cost the GUI thread a system call each.
    static FileConstructor forFoundFile(const QString& absolutePath, SyncProc endSyncProc,
                                        void* endSyncReceiver, const TrackLibrary* library);

    // A new valid track of the file, or null when the file is gone or was refused (the reason is logged).
    // Runs on pool threads: touches nothing but the file, the log and the new track.
    Track* createTrack() const;
    // The same, without keeping account of the song in `madeTracks`: for a caller that hands many songs
    // over to it at once.
    Track* makeTrack() const;

    // The song cache told what the file holds as the job found it: its song is made from that record
    // without a look at the file (see TrackLibrary's pass over the found files).
    bool isKnown() const { return cachedTags || cachedRefusal; }

    QString path;
    SyncProc endSyncProc = nullptr;
    void* endSyncReceiver = nullptr;
    const TrackLibrary* library = nullptr;
    // The job's song cache, shared by its files; null without one.
    std::shared_ptr<SongCache> cache;
    // Where the job keeps account of the songs it makes; null when the caller takes every result itself.
    std::shared_ptr<MadeTracks> madeTracks;
    bool exists = false;
    QString absolutePath;
    // The cache's record of the accepted song, or the reason the file was refused, as the pass found them;
    // both belong to `cache`.
    const TagInfo* cachedTags = nullptr;
    const char* cachedRefusal = nullptr;
};
