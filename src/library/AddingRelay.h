// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QString>

#include <deque>
#include <functional>
#include <vector>

class QMutex;
class QObject;
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
};

// Carries the results of adding jobs from the pool into the library, one job at a time, and tells the
// window what to show and the log what happened. Lives on the GUI thread and touches no widget; the
// job's notifications are queued to `receiver` (the window), whose slots hand them on to the relay.
//
// The rules it keeps: a job's results reach the library once each, in whatever order the pool finishes
// them; the last progress value may overtake results and takes them itself; a job requested while another
// has not been ended waits and starts behind the ended job's last notification; a cancelled job, which
// reports its cancellation and its end, is ended once.
class AddingRelay
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // Starts a job on the given library; false when there is nothing to add.
    using Start = std::function<bool(TrackLibrary&, QFuture<Track*>&)>;

    // `mutex` guards the library against the window's own readers; it and `notified` outlive the relay.
    AddingRelay(QObject* notified, QMutex* mutex, AddingView window);
    AddingRelay(const AddingRelay&) = delete;
    AddingRelay& operator=(const AddingRelay&) = delete;

    // From a request until the job has read its last file (and while requests wait).
    bool isAdding() const { return adding; }

    // Logs the request and starts the job, or queues it behind the running one.
    void request(const Start& start);
    void cancel();
    // Cancels the running job and waits for its threads; no notification is handled afterwards.
    void cancelAndWait();

    // The job's notifications, as the watcher reports them.
    void resultReady(int index);
    void progress(int value);
    void end(bool cancelled);

private:
    void startRequested(const Start& start);
    void startJob(const QFuture<Track*>& job);
    void startWaitingRequests();
    void handOverResult(int index);
    void showGridOnFirstNotification();

    QObject* receiver = nullptr;
    QMutex* libraryMutex = nullptr;
    AddingView view;
    TrackLibrary* library = nullptr;
    QFutureWatcher<Track*> watcher;
    int progressMaximum = 0;
    int progressShown = 0;
    int untaggedCount = 0;
    int duplicateCount = 0;
    bool adding = false;
    // A job has started and its end has not been handled yet; a new job must wait for it, or the watcher
    // would lose the earlier job's results.
    bool jobUnfinished = false;
    // Which results of the running job the library has had; the last progress value may take them before
    // their own notifications arrive.
    std::vector<bool> resultHandedOver;
    // Jobs requested before the last one ended, started in turn when it has.
    std::deque<Start> waitingRequests;
};
