// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/FileConstructor.h"

#include "library/SongCache.h"
#include "library/Track.h"
#include "tags/tags.h"

#include <QFileInfo>

#include <sys/resource.h>
#include <unistd.h>

FileConstructor::FileConstructor(const QString& filePath, SyncProc endSync, void* endSyncTarget,
                                 const TrackLibrary* owner)
    : path(filePath), endSyncProc(endSync), endSyncReceiver(endSyncTarget), library(owner)
{
    const QFileInfo file(filePath);
    exists = file.exists();
    absolutePath = file.absoluteFilePath();
}

FileConstructor FileConstructor::forFoundFile(const QString& absolutePath, SyncProc endSyncProc,
                                              void* endSyncReceiver, const TrackLibrary* library)
{
    FileConstructor found(QString(), endSyncProc, endSyncReceiver, library);
    found.path = absolutePath;
    found.absolutePath = absolutePath;
    found.exists = true;
    return found;
}

namespace {
Track* validOrNull(Track* track)
{
    if (track->isValid())
        return track;
    delete track;
    return nullptr;
}
} // namespace

Track* FileConstructor::makeTrack() const
{
    // Gone since the job was set up, a symbolic link that leads nowhere or round in a circle, or a name
    // the file system's encoding cannot give back: the log says which file was left out.
    if (cachedTags)
        return new Track(absolutePath, new TagInfo(*cachedTags), endSyncProc, endSyncReceiver);
    if (cachedRefusal) {
        logRefusedFile(absolutePath, cachedRefusal);
        return nullptr;
    }
    if (!exists) {
        logRefusedFile(path, QT_TRANSLATE_NOOP("QWidget", "the file could not be found."));
        return nullptr;
    }
    if (!cache)
        return validOrNull(new Track(absolutePath, endSyncProc, endSyncReceiver));
    const FileStamp stamp = FileStamp::of(absolutePath);
    const SongCache::Known known = cache->lookup(absolutePath, stamp);
    if (known.tags)
        return new Track(absolutePath, known.tags, endSyncProc, endSyncReceiver);
    if (known.known) {
        logRefusedFile(absolutePath, known.refusal.constData());
        return nullptr;
    }
    takeLastRefusal();
    Track* track = new Track(absolutePath, endSyncProc, endSyncReceiver);
    cache->remember(absolutePath, stamp, track->isValid() ? track->tagInfo() : nullptr,
                    track->isValid() ? nullptr : takeLastRefusal());
    return validOrNull(track);
}

Track* FileConstructor::createTrack() const
{
    // Reading songs is background work: a pool thread that reads gives way to the window and the sound,
    // which the reading threads, more of them than cores, would otherwise starve while a large folder is
    // added. Raising a thread's niceness needs no privilege; a refusal changes nothing else.
    static thread_local const bool nice = ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10) == 0;
    Q_UNUSED(nice)
    Track* track = makeTrack();
    if (track && madeTracks)
        madeTracks->made(track);
    return track;
}

void MadeTracks::made(Track* track)
{
    QMutexLocker lock(&mutex);
    unclaimed.insert(track);
}

void MadeTracks::made(const QVector<Track*>& tracks)
{
    QMutexLocker lock(&mutex);
    for (Track* track : tracks)
        unclaimed.insert(track);
}

bool MadeTracks::claim(Track* track)
{
    QMutexLocker lock(&mutex);
    return unclaimed.remove(track);
}

void MadeTracks::freeUnclaimed()
{
    QMutexLocker lock(&mutex);
    qDeleteAll(unclaimed);
    unclaimed.clear();
}
