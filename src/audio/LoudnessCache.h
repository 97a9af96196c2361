// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/Loudness.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

// Where measurements outlive the run, so that a song is decoded for its loudness once in its life: `recall`
// gives a song's kept measurement (false: none), `keep` takes each new one. Both are called on pool threads.
struct LoudnessStore
{
    std::function<bool(const QString& path, Loudness* kept)> recall;
    std::function<void(const QString& path, const Loudness& measured)> keep;
};

// The loudness of the songs the queue will play, measured on Qt's thread pool as soon as a song is wished
// or drawn, so the measurement is ready when the song starts. Lives on the GUI thread.
class LoudnessCache
{
public:
    // Measures nothing and gives no gain when `enabled` is false.
    explicit LoudnessCache(bool enabled);
    // Ends the measurements still running, so that none holds the process at its end.
    ~LoudnessCache();
    LoudnessCache(const LoudnessCache&) = delete;
    LoudnessCache& operator=(const LoudnessCache&) = delete;

    bool isEnabled() const { return enabled; }
    // Starts measuring the song unless it is measured or being measured.
    void measure(const QString& path);
    // The gain that brings the song to the target once its measurement is ready, else NaN.
    double gainFor(const QString& path) const;

    // Set before the first measurement; without it every run measures anew.
    void setStore(LoudnessStore kept) { store = std::make_shared<const LoudnessStore>(std::move(kept)); }

    // Called on the GUI thread with the song's path as soon as its measurement is ready.
    std::function<void(const QString&)> measured;

private:
    bool enabled = true;
    QHash<QString, QFuture<Loudness>> measurements;
    std::shared_ptr<const LoudnessStore> store = std::make_shared<const LoudnessStore>();
    // Parent of the watchers of running measurements, which go with it.
    QObject watchers;
    // Shared with the running measurements, which may outlive the cache.
    std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
};
