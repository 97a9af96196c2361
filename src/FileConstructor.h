// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Foreigner.h"

#include <QString>

#include <memory>

class SongCache;
class Track;
class TrackLibrary;

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
    bool exists = false;
    QString absolutePath;
};
