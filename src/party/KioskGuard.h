// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <deque>

class QSettings;

// Decides whether a host action (quitting, leaving full screen, adding songs, the mode dialog, skipping or
// removing songs) may go ahead. Outside kiosk mode it always may; in kiosk mode only after the host PIN.
// The PIN is kept in the settings ("Party", "PIN") as a salted PBKDF2 hash, never in clear. Wrong PINs are
// logged; five within a minute lock the prompt for a minute, so guessing takes longer than a party lasts.
class KioskGuard
{
public:
    enum class Answer { Accepted, Wrong, Locked };

    static constexpr int shortestPin = 4;
    static constexpr int wrongPinsBeforeLock = 5;
    static constexpr qint64 lockMilliseconds = 60000;

    // Reads the stored PIN hash; `settings` may be null (nothing is stored then) and must outlive the guard.
    explicit KioskGuard(QSettings* settings);

    void setKiosk(bool on) { kioskOn = on; }
    bool kiosk() const { return kioskOn; }
    // True when a host action goes ahead without asking: outside kiosk mode.
    bool actionIsFree() const { return !kioskOn; }

    bool hasPin() const { return !pinRecord.isEmpty(); }
    // Stores a new PIN (at least `shortestPin` characters, otherwise false and nothing changes).
    bool setPin(const QString& pin);

    // Checks an entered PIN at the time `nowMs` (milliseconds of any steady clock).
    Answer check(const QString& pin, qint64 nowMs);
    bool locked(qint64 nowMs) const { return nowMs < lockedUntil; }

    // The stored form of `pin` with `salt`: "pbkdf2-sha256$iterations$salt$hash", both in Base64.
    static QByteArray pinRecordFor(const QString& pin, const QByteArray& salt);

private:
    bool matches(const QString& pin) const;

    QSettings* settings = nullptr;
    bool kioskOn = false;
    QByteArray pinRecord;
    std::deque<qint64> wrongTimes;
    qint64 lockedUntil = 0;
};
