// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/AddingRelay.h"

#include "base/runlog.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "library/folderscan.h"

#include <QMutex>
#include <QMutexLocker>
#include <QtConcurrent>
#include <utility>

namespace {
// A refresh of a large grid takes tens of milliseconds; a few of them a second show the grid filling.
constexpr qint64 refreshIntervalMs = 300;
} // namespace

AddingRelay::AddingRelay(QObject* notified, QMutex* mutex, AddingView window)
    : receiver(notified), libraryMutex(mutex), view(std::move(window))
{
    finder.setMaxThreadCount(1);
    QObject::connect(
        &finding, &QFutureWatcherBase::finished, receiver, [this]() { filesFound(); }, Qt::QueuedConnection);
}

AddingRelay::~AddingRelay()
{
    cancelAndWait();
}

void AddingRelay::request(const Find& find)
{
    QMutexLocker lock(libraryMutex);
    if (jobUnfinished) {
        // The watcher follows one job at a time. The running job may have read its last file already
        // (which ends the running state and lets a drop through), but until its end has been handled a
        // new job would take the watcher from it: this one starts right after that end instead.
        waitingRequests.push_back(find);
        adding = true;
        return;
    }
    startRequested(find);
}

void AddingRelay::startRequested(const Find& find)
{
    if (!library)
        library = view.library();
    adding = true;
    jobUnfinished = true;
    cancelRequested = false;
    logMessage(QStringLiteral("\n"));
    logMessage(tr("Start of ADDING files"));
    const TrackLibrary* songs = library;
    scan = std::make_shared<FolderScan>();
    finding.setFuture(
        QtConcurrent::run(&finder, [find, songs, found = scan]() { return find(*songs, *found); }));
}

void AddingRelay::filesFound()
{
    QMutexLocker lock(libraryMutex);
    if (!finding.future().isResultReadyAt(0))
        return;
    QList<FileConstructor> files = finding.result();
    finding.setFuture(QFuture<QList<FileConstructor>>());
    unreadableFolderCount = scan ? int(scan->unreadableFolders.size()) : 0;
    discardUnclaimedResults();
    madeTracks = std::make_shared<MadeTracks>();
    for (FileConstructor& file : files)
        file.madeTracks = madeTracks;
    tracksBeforeJob = library->trackCount();
    // Announced before the job starts, so that its refusals, logged by the pool, come after the line.
    if (!files.isEmpty())
        logMessage(tr("Starting to add") + QLatin1Char(' ') + QString::number(files.size()) +
                   QLatin1Char(' ') + tr("files to Vimo."));
    if (cancelRequested && !files.isEmpty()) {
        // Cancelled while its files were searched: the job never starts. Started and cancelled at once, a
        // job of files the song cache knows could finish first, and then it was not cancelled at all.
        QMetaObject::invokeMethod(
            receiver, [this]() { end(true); }, Qt::QueuedConnection);
        return;
    }
    QFuture<Track*> job;
    if (library->startJob(files, job)) {
        startJob(job);
        return;
    }
    // Nothing to add: no job, but the request's end is logged, and folders that could not be read are told.
    jobUnfinished = false;
    adding = false;
    logEnd(cancelRequested);
    if (unreadableFolderCount != 0 && view.jobEnded)
        view.jobEnded(0, 0, 0, std::exchange(unreadableFolderCount, 0));
    startWaitingRequestsLocked();
}

void AddingRelay::startJob(const QFuture<Track*>& job)
{
    sinceRefresh.start();
    // Queued to the receiver, so that every notification is handled on its thread after what it is doing.
    QObject::connect(
        &watcher, &QFutureWatcherBase::canceled, receiver, [this]() { end(true); }, Qt::QueuedConnection);
    QObject::connect(
        &watcher, &QFutureWatcherBase::finished, receiver, [this]() { end(false); }, Qt::QueuedConnection);
    QObject::connect(
        &watcher, &QFutureWatcherBase::progressValueChanged, receiver, [this](int value) { progress(value); },
        Qt::QueuedConnection);
    QObject::connect(
        &watcher, &QFutureWatcherBase::resultsReadyAt, receiver,
        [this](int begin, int end) { resultsReady(begin, end); }, Qt::QueuedConnection);
    watcher.setFuture(job);
    progressMaximum = watcher.progressMaximum();
    resultHandedOver.assign(static_cast<size_t>(qMax(0, progressMaximum)), false);
}

void AddingRelay::cancel()
{
    cancelRequested = true;
    watcher.cancel();
}

void AddingRelay::cancelAndWait()
{
    // Escape lets a running scan finish and cancels the job it finds; at the end nothing waits for it.
    if (scan)
        scan->cancelled = true;
    finding.disconnect(receiver);
    finding.waitForFinished();
    watcher.disconnect(receiver);
    watcher.cancel();
    watcher.waitForFinished();
    discardUnclaimedResults();
}

void AddingRelay::discardUnclaimedResults()
{
    // A cancelled job's last files may still be read after its end was handled, and the pool drops what
    // they report: the songs they made belong to nobody but this relay.
    watcher.future().waitForFinished();
    if (madeTracks)
        madeTracks->freeUnclaimed();
}
void AddingRelay::showGridOnFirstNotification()
{
    if (library && library->takeFirstNotification())
        view.showGrid();
}

void AddingRelay::resultReady(int index)
{
    resultsReady(index, index + 1);
}

void AddingRelay::resultsReady(int begin, int end)
{
    QMutexLocker lock(libraryMutex);
    // Should a result ever come first, it is still handed over after the grid has been switched on.
    showGridOnFirstNotification();
    for (int index = begin; jobUnfinished && index < end; ++index)
        handOverResult(index);
}

void AddingRelay::handOverResult(int index)
{
    // Results arrive in the order the pool finishes them: one may be ready while an earlier one is not.
    if (index < 0 || index >= static_cast<int>(resultHandedOver.size()) || resultHandedOver[size_t(index)] ||
        !watcher.future().isResultReadyAt(index))
        return;
    resultHandedOver[size_t(index)] = true;
    Track* track = watcher.resultAt(index);
    if (track && madeTracks)
        madeTracks->claim(track);
    if (!track)
        ++untaggedCount;
    else if (!library->addPendingTrack(track))
        ++duplicateCount;
}

void AddingRelay::progress(int value)
{
    QMutexLocker lock(libraryMutex);
    // The watcher's first report is the value the job has reached, normally 0; but a short job may have
    // read all its files before the watcher was attached, and then this first value is its last one.
    showGridOnFirstNotification();
    if (!jobUnfinished)
        return;
    const int step = qMax(1, progressMaximum / 100);
    if (value - progressShown >= step && value < progressMaximum) {
        refreshPaced();
        view.showProgress(QString::number(value * 100 / progressMaximum) + QStringLiteral(" %"));
        progressShown = value;
    } else if (value == progressMaximum) {
        // Qt announces the progress of a job's first results before the results themselves, so the last
        // value of a small job can overtake its results: take them now, or the count below misses them.
        for (int index = 0; index < progressMaximum; ++index)
            handOverResult(index);
        adding = false;
        progressShown = 0;
        view.showProgress(QString());
        logMessage(QString::number(library->trackCount()) + QLatin1Char(' ') +
                   tr("files are now available in Vimo."));
        // The end follows at once and refreshes the grid with every song merged.
    }
}

void AddingRelay::refreshPaced()
{
    // Progress values queue up while a refresh runs; none may cost another refresh right behind it, and a
    // grid that has grown slow to build is refreshed less often, so the window keeps most of its time.
    if (sinceRefresh.isValid() && sinceRefresh.elapsed() < qMax(refreshIntervalMs, 4 * refreshCostMs))
        return;
    QElapsedTimer cost;
    cost.start();
    view.refreshGrid();
    refreshCostMs = cost.elapsed();
    sinceRefresh.start();
}

void AddingRelay::end(bool cancelled)
{
    QMutexLocker lock(libraryMutex);
    // A cancelled job reports both its cancellation and its end; only the first of them ends it.
    if (!jobUnfinished)
        return;
    jobUnfinished = false;
    watcher.disconnect(receiver);
    library->mergePending();
    adding = false;
    progressShown = 0;
    view.showProgress(QString());
    logEnd(cancelled);
    if (duplicateCount != 0)
        logMessage(QString::number(duplicateCount) + QLatin1Char(' ') +
                   tr("files were not imported because they are duplicates (same artist and same title)."));
    if (untaggedCount != 0)
        logMessage(
            QString::number(untaggedCount) + QLatin1Char(' ') +
            tr("files were not imported because they have no artist and title ID3 tags (up to version 2.2 "
               "is supported) or are corrupt."));
    const int duplicates = std::exchange(duplicateCount, 0);
    const int unreadable = std::exchange(untaggedCount, 0);
    view.refreshGrid();
    if (view.jobEnded)
        view.jobEnded(library->trackCount() - tracksBeforeJob, duplicates, unreadable,
                      std::exchange(unreadableFolderCount, 0));
    if (!waitingRequests.empty()) {
        // Notifications of the ended job may still be queued for the receiver (a cancelled job reports its
        // end as well): the waiting job starts behind them, so that none of them is taken for its own.
        adding = true;
        QMetaObject::invokeMethod(
            receiver, [this]() { startWaitingRequests(); }, Qt::QueuedConnection);
    }
}

void AddingRelay::logEnd(bool cancelled)
{
    logMessage(cancelled ? tr("Adding of files has been cancelled by the user.")
                         : tr("Adding of files has finished."));
    logMessage(QString::number(library->trackCount()) + QLatin1Char(' ') +
               (cancelled ? tr("files are now available in Vimo (CANCEL).")
                          : tr("files are now available in Vimo.")));
    if (unreadableFolderCount != 0)
        logMessage(QString::number(unreadableFolderCount) + QLatin1Char(' ') +
                   tr("folders could not be read; their songs were not added."));
}

void AddingRelay::startWaitingRequests()
{
    QMutexLocker lock(libraryMutex);
    startWaitingRequestsLocked();
}

void AddingRelay::startWaitingRequestsLocked()
{
    if (!jobUnfinished && !waitingRequests.empty()) {
        const Find find = waitingRequests.front();
        waitingRequests.pop_front();
        startRequested(find);
    }
}
