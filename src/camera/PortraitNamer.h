// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace opencv {
class Snapshot;
}

// Counts the run's portraits, the webcam's and those the guests' phones bring alike, so that their
// numbers never repeat, and names each one.
class PortraitNamer
{
public:
    void setWebcam(const opencv::Snapshot* camera) { webcam = camera; }
    // The name of the webcam's next photo of the song; "" without a webcam, and then nothing is counted.
    QString nameWebcamPortrait(const QString& artist, const QString& title, bool random);
    QString nameGuestPortrait(const QString& artist, const QString& title);
    int count() const { return photoCounter; }

private:
    const opencv::Snapshot* webcam = nullptr;
    int photoCounter = 0;
};
