// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/Foreigner.h"

#include <QMutex>
#include <QSet>
#include <QString>

#include <memory>

class SongCache;
class Track;
class TrackLibrary;

// Every song a job's files make, until the job's owner claims it. A cancelled job's pool drops the
// results it reports after the cancellation, so only this list still knows those songs and can free them.
class MadeTracks
{
public:
    void made(Track* track);
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

private:
    Track* makeTrack() const;
};
