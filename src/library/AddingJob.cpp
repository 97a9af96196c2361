// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/AddingJob.h"

#include "library/FileConstructor.h"

#include <QFutureInterface>
#include <QVector>
#include <QtConcurrent>

#include <atomic>
#include <memory>

namespace {

// What the job's tasks share: the future they fill and how many of its files are done.
struct Job
{
    QFutureInterface<Track*> promise;
    QList<FileConstructor> files;
    // The files to be read, by their place in `files`.
    QVector<int> unknown;
    std::atomic<int> done{0};

    // After the results of `count` more files have been reported: the last one ends the job, cancelled or
    // not, so that whoever waits for it is let go.
    void finished(int count)
    {
        const int now = done.fetch_add(count) + count;
        promise.setProgressValue(now);
        if (now == files.size())
            promise.reportFinished();
    }

    // Every known file's song in one pass, handed over a run of neighbouring files at a time: a song a
    // result would cost a lock of the future and an event to its watcher each.
    void makeKnownSongs()
    {
        QVector<Track*> run;
        QVector<Track*> made;
        // The files of a job share one account of the songs made, which must know a run's songs before
        // they can reach anyone: the owner claims each from it, and what it holds unclaimed is freed.
        const std::shared_ptr<MadeTracks>& account = files.at(0).madeTracks;
        const auto handOver = [&](int end) {
            if (!made.isEmpty() && account)
                account->made(made);
            made.clear();
            if (!run.isEmpty())
                promise.reportResults(run, end - run.size(), run.size());
            run.clear();
        };
        int index = 0;
        for (; index < files.size() && !promise.isCanceled(); ++index) {
            const FileConstructor& file = files.at(index);
            if (!file.isKnown()) {
                handOver(index);
                continue;
            }
            Track* track = file.makeTrack();
            if (track)
                made << track;
            run << track;
        }
        handOver(index);
        finished(files.size() - unknown.size());
    }
};

} // namespace

QFuture<Track*> startAddingJob(const QList<FileConstructor>& files)
{
    int known = 0;
    for (const FileConstructor& file : files)
        known += file.isKnown() ? 1 : 0;
    if (known == 0)
        return QtConcurrent::mapped(files, &FileConstructor::createTrack);
    auto job = std::make_shared<Job>();
    job->files = files;
    for (int index = 0; index < files.size(); ++index) {
        if (!files.at(index).isKnown())
            job->unknown << index;
    }
    job->promise.setProgressRange(0, files.size());
    job->promise.reportStarted();
    const QFuture<Track*> future = job->promise.future();
    QtConcurrent::run([job]() { job->makeKnownSongs(); });
    if (!job->unknown.isEmpty()) {
        // The files to read are mapped as ever, their songs reported at their places in the job. A cancelled
        // job skips what it has not read yet, but each file still counts, so that the job ends.
        QtConcurrent::map(job->unknown, [job](int index) {
            Track* track = job->promise.isCanceled() ? nullptr : job->files.at(index).createTrack();
            job->promise.reportResult(track, index);
            job->finished(1);
        });
    }
    return future;
}
