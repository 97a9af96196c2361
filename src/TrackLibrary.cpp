#include "TrackLibrary.h"

#include "FileConstructor.h"
#include "Track.h"
#include "folderscan.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QStringList>
#include <QtConcurrent>

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
        if (tracks.contains(track->searchKey())) {
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
    return true;
}

void TrackLibrary::mergePending()
{
    QMutexLocker tracksLock(&tracksMutex);
    QMutexLocker pendingLock(&pendingMutex);
    QMutexLocker genreLock(&genreMutex);
    while (!pending.isEmpty()) {
        Track* track = pending.takeFirst();
        tracks.insert(track->searchKey(), track);
        if (!track->genre().isEmpty())
            ++genreCounts[track->genre()];
    }
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

QList<Track*> TrackLibrary::selectableTracks(bool onlyInGenreFilter) const
{
    const auto selectable = [onlyInGenreFilter](const Track* track) {
        return !track->played() && !track->playing() && (!onlyInGenreFilter || track->inGenreFilter());
    };
    QList<Track*> found;
    QMutexLocker tracksLock(&tracksMutex);
    for (Track* track : tracks) {
        if (selectable(track))
            found.append(track);
    }
    QMutexLocker pendingLock(&pendingMutex);
    for (Track* track : pending) {
        if (selectable(track))
            found.append(track);
    }
    return found;
}

Track* TrackLibrary::findBySearchKey(const QString& key) const
{
    QMutexLocker tracksLock(&tracksMutex);
    if (Track* track = tracks.value(key))
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

bool TrackLibrary::startAdding(const QStringList& files, QFuture<Track*>& job)
{
    QList<FileConstructor> constructors;
    constructors.reserve(files.size());
    for (const QString& path : files)
        constructors.append(FileConstructor(path, endSyncProc, endSyncReceiver, this));
    return startJob(constructors, job);
}

bool TrackLibrary::startAddingFolder(const QFileInfo& folder, QFuture<Track*>& job)
{
    if (!folder.isDir())
        return false;
    QStringList files;
    scanFolder(folder, files);
    QList<FileConstructor> constructors;
    constructors.reserve(files.size());
    for (const QString& path : qAsConst(files))
        constructors.append(FileConstructor::forFoundFile(path, endSyncProc, endSyncReceiver, this));
    return startJob(constructors, job);
}

bool TrackLibrary::startJob(const QList<FileConstructor>& constructors, QFuture<Track*>& job)
{
    if (constructors.isEmpty())
        return false;
    job = QtConcurrent::mapped(constructors, &FileConstructor::createTrack);
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
