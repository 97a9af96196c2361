// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/Loudness.h"

#include <QFuture>
#include <QHash>
#include <QString>

// The loudness of the songs the queue will play, measured on Qt's thread pool as soon as a song is wished
// or drawn, so the measurement is ready when the song starts. Lives on the GUI thread.
class LoudnessCache
{
public:
    // Measures nothing and gives no gain when `enabled` is false.
    explicit LoudnessCache(bool enabled);

    bool isEnabled() const { return enabled; }
    // Starts measuring the song unless it is measured or being measured.
    void measure(const QString& path);
    // The gain that brings the song to the target once its measurement is ready, else NaN.
    double gainFor(const QString& path) const;

private:
    bool enabled = true;
    QHash<QString, QFuture<Loudness>> measurements;
};
