// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/LoudnessCache.h"

#include <QtConcurrent>
#include <limits>

LoudnessCache::LoudnessCache(bool normalize) : enabled(normalize) {}

LoudnessCache::~LoudnessCache()
{
    cancelled->store(true);
}

void LoudnessCache::measure(const QString& path)
{
    if (!enabled || measurements.contains(path))
        return;
    const QFuture<Loudness> job = QtConcurrent::run([path, stop = cancelled, kept = store]() {
        // A cancelled measurement leaves the store alone: the program may be ending, and the store with it.
        Loudness loudness;
        if (kept->recall && !*stop && kept->recall(path, &loudness))
            return loudness;
        loudness = measureLoudness(path, stop.get());
        if (loudness.measured && kept->keep && !*stop)
            kept->keep(path, loudness);
        return loudness;
    });
    measurements.insert(path, job);
    auto* watcher = new QFutureWatcher<Loudness>(&watchers);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [this, watcher, path]() {
        watcher->deleteLater();
        if (measured)
            measured(path);
    });
    watcher->setFuture(job);
}

double LoudnessCache::gainFor(const QString& path) const
{
    const auto found = measurements.constFind(path);
    if (found == measurements.constEnd() || !found->isFinished() || !found->result().measured)
        return std::numeric_limits<double>::quiet_NaN();
    return normalizingGain(found->result());
}
