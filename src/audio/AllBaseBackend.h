// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/Foreigner.h"

#include <QObject>

// The process's audio output, opened by the main window at start-up and freed at its end.
class AllBaseBackend final : public QObject, public ForeignerBackend
{
    Q_OBJECT

public:
    AllBaseBackend() = default;
    // Stops the news of the device, which would otherwise reach a backend that is gone.
    ~AllBaseBackend() override;

    // Checks the audio libraries and opens the default output device (44100 Hz, stereo). On failure it
    // logs the reason and returns false. `ownerWindow` is not needed on this platform.
    bool init(quintptr ownerWindow) override;
    // Closes the device and frees every stream still playing; nothing happens when init() failed.
    void free() override;

    bool isInitialized() const;

signals:
    // The output device went away (the song that was playing has ended), or a device was opened again in
    // its place. Emitted on the audio thread that keeps the device: connect them queued.
    void deviceLost();
    void deviceBack();

private:
    bool initialized = false;
};
