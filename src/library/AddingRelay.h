// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/FileConstructor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QList>
#include <QString>
#include <QThreadPool>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QMutex;
class QObject;
struct FolderScan;
class Track;
class TrackLibrary;

// What the relay asks of the window it serves. Each is called on the GUI thread with the library mutex
// held.
struct AddingView
{
    // The library the jobs fill, made when the first job is requested.
    std::function<TrackLibrary*()> library;
    // The first notification of the first job: the grid replaces the hint.
    std::function<void()> showGrid;
    std::function<void()> refreshGrid;
    // The percentage while a job runs; "" puts the button's own text back.
    std::function<void(const QString&)> showProgress;
    // A job has ended: how many songs it added, how many files it refused as duplicates or unreadable, and
    // how many folders could not be read.
    std::function<void(int added, int duplicates, int unreadable, int unreadableFolders)> jobEnded;
};

// Carries the results of adding jobs from the pool into the library, one job at a time, and tells the
// window what to show and the log what happened. Lives on the GUI thread and touches no widget; the
// job's notifications are queued to `receiver` (the window), whose slots hand them on to the relay.
// A job's files are found on a thread of the relay's own (a folder of 50,000 songs takes a few hundred
// milliseconds to list), and the grid is refreshed a few times a second at most while the job runs.
//
// The rules it keeps: a job's results reach the library once each, in whatever order the pool finishes
// them; the last progress value may overtake results and takes them itself; a job requested while another
// has not been ended waits and starts behind the ended job's last notification; a cancelled job, which
// reports its cancellation and its end, is ended once.
class AddingRelay
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // Finds a request's files; runs off the GUI thread, so it may take its time. A folder scan reports to
    // the FolderScan, through which the relay cancels it.
    using Find = std::function<QList<FileConstructor>(const TrackLibrary&, FolderScan&)>;

    // `mutex` guards the library against the window's own readers; it and `notified` outlive the relay.
    AddingRelay(QObject* notified, QMutex* mutex, AddingView window);
    ~AddingRelay();
    AddingRelay(const AddingRelay&) = delete;
    AddingRelay& operator=(const AddingRelay&) = delete;

    // From a request until the job has read its last file (and while requests wait).
    bool isAdding() const { return adding; }

    // Logs the request and starts the job once its files are found, or queues it behind the running one.
    void request(const Find& find);
    void cancel();
    // Cancels the running job and a running folder scan and waits for their threads; no notification is
    // handled afterwards.
    void cancelAndWait();

    // The job's notifications, as the watcher reports them.
    void resultReady(int index);
    // Those from `begin` up to `end`, reported together: the songs the cache knew come in long runs.
    void resultsReady(int begin, int end);
    void progress(int value);
    void end(bool cancelled);

private:
    void startRequested(const Find& find);
    void filesFound();
    void startJob(const QFuture<Track*>& job);
    void startWaitingRequests();
    void startWaitingRequestsLocked();
    void refreshPaced();
    void handOverResult(int index);
    // Frees the songs the last job made but never handed over, once it has ended; waits for it.
    void discardUnclaimedResults();
    void showGridOnFirstNotification();
    // The job's closing lines in the log, after its songs have joined the library.
    void logEnd(bool cancelled);

    QObject* receiver = nullptr;
    QMutex* libraryMutex = nullptr;
    AddingView view;
    TrackLibrary* library = nullptr;
    QFutureWatcher<Track*> watcher;
    QThreadPool finder;
    QFutureWatcher<QList<FileConstructor>> finding;
    // The running request's folder scan, shared with the finder thread.
    std::shared_ptr<FolderScan> scan;
    int unreadableFolderCount = 0;
    // Escape while the files are still being found cancels the job as soon as it exists.
    bool cancelRequested = false;
    QElapsedTimer sinceRefresh;
    qint64 refreshCostMs = 0;
    int progressMaximum = 0;
    int progressShown = 0;
    int untaggedCount = 0;
    int duplicateCount = 0;
    // The songs the running (or last) job has made and nobody has claimed yet.
    std::shared_ptr<MadeTracks> madeTracks;
    // Songs in the library when the running job started.
    int tracksBeforeJob = 0;
    bool adding = false;
    // A job has been requested and its end has not been handled yet; a new job must wait for it, or the
    // watcher would lose the earlier job's results.
    bool jobUnfinished = false;
    // Which results of the running job the library has had; the last progress value may take them before
    // their own notifications arrive.
    std::vector<bool> resultHandedOver;
    // Jobs requested before the last one ended, started in turn when it has.
    std::deque<Find> waitingRequests;
};
