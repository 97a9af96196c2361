// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "party/PartyMode.h"

#include <memory>
#include <optional>

class KioskGuard;
class PlayQueue;
class PortraitJobs;
class QSettings;
class StopMotion;

// The party mode in force and what it switches: kiosk mode (only with a host PIN), the wish portraits and
// the stop-motion frames, as far as the camera opened at start allows.
class PartyModeSwitch
{
public:
    // The stored mode and frame interval; `guard` holds the host PIN.
    PartyModeSwitch(QSettings* settings, KioskGuard& guard);
    ~PartyModeSwitch();
    PartyModeSwitch(const PartyModeSwitch&) = delete;
    PartyModeSwitch& operator=(const PartyModeSwitch&) = delete;

    PartyMode current() const { return mode; }
    StopMotion* frames() const { return stopMotion.get(); }
    // The mode dialog; the mode the host chose, stored already, or none when a kiosk mode lacks its PIN.
    std::optional<PartyMode> ask();
    void apply(PartyMode chosen, PlayQueue* queue, const PortraitJobs& portraits);
    // Stops the stop-motion frames and makes them into the run's film.
    void finishStopMotion();

private:
    QSettings* settings = nullptr;
    KioskGuard& kioskGuard;
    PartyMode mode;
    int stopMotionSeconds = 20;
    std::unique_ptr<StopMotion> stopMotion;
};
