// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <memory>

class KioskGuard;
class QSettings;

// The door to every host action: free outside kiosk mode, behind the host PIN in it. The prompt and the
// lock notice are its own; the guard decides.
class HostGate
{
public:
    explicit HostGate(QSettings* settings);
    ~HostGate();
    HostGate(const HostGate&) = delete;
    HostGate& operator=(const HostGate&) = delete;

    // Asks the kiosk guard before a host action; in kiosk mode that means the host PIN. True: go ahead.
    bool mayAct();
    KioskGuard& guard() const { return *kioskGuard; }

private:
    std::unique_ptr<KioskGuard> kioskGuard;
    // Times the wrong PINs of the guard, steady whatever the wall clock does.
    QElapsedTimer hostClock;
};
