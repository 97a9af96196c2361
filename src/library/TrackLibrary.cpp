// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/TrackLibrary.h"

#include "library/AddingJob.h"
#include "library/FileConstructor.h"
#include "library/SongCache.h"
#include "library/Track.h"
#include "library/folderscan.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QStringList>
#include <QtConcurrent>

#include <algorithm>

TrackLibrary::TrackLibrary(SyncProc syncProc, void* syncReceiver)
    : endSyncProc(syncProc), endSyncReceiver(syncReceiver)
{}

TrackLibrary::~TrackLibrary()
{
    qDeleteAll(tracks);
    qDeleteAll(pending);
}

bool TrackLibrary::takeFirstNotification()
{
    const bool first = firstNotificationPending;
    firstNotificationPending = false;
    return first;
}

int TrackLibrary::trackCount() const
{
    QMutexLocker tracksLock(&tracksMutex);
    QMutexLocker pendingLock(&pendingMutex);
    return tracks.size() + pending.size();
}

bool TrackLibrary::addPendingTrack(Track* track)
{
    if (!track)
        return false;
    {
        QMutexLocker lock(&tracksMutex);
        if (mergedSong(track->searchKey())) {
            delete track;
            return false;
        }
    }
    QMutexLocker lock(&pendingMutex);
    const auto waiting = pendingByKey.constFind(track->searchKey());
    if (waiting != pendingByKey.cend()) {
        // The same result handed over twice must not be deleted twice.
        if (waiting.value() != track)
            delete track;
        return false;
    }
    pending.append(track);
    pendingByKey.insert(track->searchKey(), track);
    if (!track->genre().isEmpty())
        ++pendingGenres[track->genre()];
    return true;
}

void TrackLibrary::mergePending()
{
    QMutexLocker tracksLock(&tracksMutex);
    QMutexLocker pendingLock(&pendingMutex);
    QMutexLocker genreLock(&genreMutex);
    // The pending songs were sorted and their genres counted as they arrived: the end of a large job
    // only joins them to the library, which kept the window still for a tenth of a second otherwise.
    for (auto genre = pendingGenres.cbegin(); genre != pendingGenres.cend(); ++genre)
        genreCounts[genre.key()] += genre.value();
    pendingGenres.clear();
    pending.clear();
    // Both in key order: one pass.
    QVector<Track*> merged;
    merged.reserve(tracks.size() + pendingByKey.size());
    auto old = tracks.cbegin();
    for (Track* track : qAsConst(pendingByKey)) {
        for (; old != tracks.cend() && (*old)->searchKey() < track->searchKey(); ++old)
            merged.append(*old);
        merged.append(track);
        // As with an insert into a map, the arriving song replaces one of the same key.
        if (old != tracks.cend() && (*old)->searchKey() == track->searchKey())
            ++old;
    }
    for (; old != tracks.cend(); ++old)
        merged.append(*old);
    tracks.swap(merged);
    pendingByKey.clear();
    // Equal counts collide: the later genre in key order moves down to the next free rank, never below 1,
    // where it replaces whatever is there.
    genreRanking.clear();
    for (auto genre = genreCounts.cbegin(); genre != genreCounts.cend(); ++genre) {
        if (genre.value() < 2)
            continue;
        int rank = genre.value();
        while (genreRanking.contains(rank) && rank > 1)
            --rank;
        genreRanking.insert(rank, genre.key());
    }
}

QString TrackLibrary::genreAt(int index) const
{
    QMutexLocker lock(&genreMutex);
    if (index < 0 || index >= genreRanking.size())
        return QString();
    return std::prev(genreRanking.cend(), index + 1).value();
}

bool TrackLibrary::isSelectable(const Track* track, bool onlyInGenreFilter)
{
    return !track->played() && !track->playing() && (!onlyInGenreFilter || track->inGenreFilter());
}

QList<Track*> TrackLibrary::selectableTracks(bool onlyInGenreFilter) const
{
    QList<Track*> found;
    QMutexLocker tracksLock(&tracksMutex);
    for (Track* track : tracks) {
        if (isSelectable(track, onlyInGenreFilter))
            found.append(track);
    }
    QMutexLocker pendingLock(&pendingMutex);
    for (Track* track : pending) {
        if (isSelectable(track, onlyInGenreFilter))
            found.append(track);
    }
    return found;
}

Track* TrackLibrary::trackAt(int index) const
{
    QMutexLocker tracksLock(&tracksMutex);
    if (index >= 0 && index < tracks.size())
        return tracks.at(index);
    QMutexLocker pendingLock(&pendingMutex);
    index -= tracks.size();
    return index >= 0 && index < pending.size() ? pending.at(index) : nullptr;
}

Track* TrackLibrary::mergedSong(const QString& key) const
{
    const auto found =
        std::lower_bound(tracks.cbegin(), tracks.cend(), key,
                         [](const Track* track, const QString& k) { return track->searchKey() < k; });
    return found != tracks.cend() && (*found)->searchKey() == key ? *found : nullptr;
}

Track* TrackLibrary::findBySearchKey(const QString& key) const
{
    QMutexLocker tracksLock(&tracksMutex);
    if (Track* track = mergedSong(key))
        return track;
    QMutexLocker pendingLock(&pendingMutex);
    return pendingByKey.value(key);
}

void TrackLibrary::resetPlayedMarks()
{
    QMutexLocker lock(&tracksMutex);
    for (Track* track : qAsConst(tracks)) {
        track->setState(SongState::Free);
        track->player()->close();
    }
}

QList<FileConstructor> TrackLibrary::filesBelow(const QFileInfo& folder, FolderScan* scan) const
{
    QList<FileConstructor> found;
    if (!folder.isDir())
        return found;
    QStringList files;
    // With the song cache, a file's stamp is looked at anyway: one that is what the cache remembers has
    // not had its permissions changed (that sets its change time) and is not asked again whether it can
    // be read.
    scanFolder(folder, files, scan, !songCacheUsed);
    if (scan && scan->cancelled)
        return found;
    found.reserve(files.size());
    for (const QString& path : qAsConst(files))
        found.append(FileConstructor::forFoundFile(path, endSyncProc, endSyncReceiver, this));
    attachSongCache(found, folder.absoluteFilePath(), true, songCacheUsed);
    return found;
}

QList<FileConstructor> TrackLibrary::listedFiles(const QStringList& files) const
{
    QList<FileConstructor> found;
    found.reserve(files.size());
    for (const QString& path : files)
        found.append(FileConstructor(path, endSyncProc, endSyncReceiver, this));
    attachSongCache(found, QString(), false, false);
    return found;
}

QList<FileConstructor> TrackLibrary::droppedFiles(const QStringList& entries, FolderScan* scan) const
{
    QStringList files;
    for (const QString& path : entries) {
        const QFileInfo entry(path);
        if (entry.isDir())
            scanFolder(QFileInfo(entry.absoluteFilePath()), files, scan);
        else
            files << path;
    }
    if (scan && scan->cancelled)
        return QList<FileConstructor>();
    return listedFiles(files);
}

void TrackLibrary::attachSongCache(QList<FileConstructor>& files, const QString& folder, bool prune,
                                   bool checkReadable) const
{
    if (!songCacheUsed || files.isEmpty())
        return;
    // Without a folder, the one that holds all the files: the cache is read below it in one go.
    QString common = folder;
    QStringList paths;
    paths.reserve(files.size());
    for (const FileConstructor& file : qAsConst(files)) {
        paths << file.absolutePath;
        if (folder.isEmpty()) {
            const QString parent =
                file.absolutePath.left(file.absolutePath.lastIndexOf(QLatin1Char('/')) + 1);
            if (common.isEmpty())
                common = parent;
            while (!parent.startsWith(common))
                common.truncate(common.lastIndexOf(QLatin1Char('/'), common.size() - 2) + 1);
        }
    }
    const std::shared_ptr<SongCache> cache = SongCache::forJob(common, paths, prune);
    // One pass, on this thread, with one stat a file: a file the cache knows as it is now becomes its song
    // from the cache's record without another look, and only the others are read on the pool. A file
    // changed after this look is taken as it was, as if it had changed after its reading.
    QVector<int> unreadable;
    for (int index = 0; index < files.size(); ++index) {
        FileConstructor& file = files[index];
        file.cache = cache;
        if (cache && file.exists &&
            cache->recall(file.absolutePath, FileStamp::of(file.absolutePath), &file.cachedTags,
                          &file.cachedRefusal))
            continue;
        if (checkReadable && !readableOrLogged(file.absolutePath))
            unreadable << index;
    }
    for (auto index = unreadable.crbegin(); index != unreadable.crend(); ++index)
        files.removeAt(*index);
}

bool TrackLibrary::startAdding(const QStringList& files, QFuture<Track*>& job)
{
    return startJob(listedFiles(files), job);
}

bool TrackLibrary::startAddingFolder(const QFileInfo& folder, QFuture<Track*>& job)
{
    return startJob(filesBelow(folder), job);
}

bool TrackLibrary::startJob(const QList<FileConstructor>& files, QFuture<Track*>& job)
{
    if (files.isEmpty())
        return false;
    job = startAddingJob(files);
    return true;
}

void TrackLibrary::forEachTrack(const std::function<void(Track*)>& visit) const
{
    QMutexLocker lock(&tracksMutex);
    for (Track* track : tracks)
        visit(track);
}

void TrackLibrary::forEachPendingTrack(const std::function<void(Track*)>& visit) const
{
    QMutexLocker lock(&pendingMutex);
    for (Track* track : pending)
        visit(track);
}
