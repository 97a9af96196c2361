// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/Foreigner.h"

// The process's audio output, opened by the main window at start-up and freed at its end.
class AllBaseBackend final : public ForeignerBackend
{
public:
    // Checks the audio libraries and opens the default output device (44100 Hz, stereo). On failure it
    // logs the reason and returns false. `ownerWindow` is not needed on this platform.
    bool init(quintptr ownerWindow) override;
    // Closes the device and frees every stream still playing; nothing happens when init() failed.
    void free() override;

    bool isInitialized() const;

private:
    bool initialized = false;
};
