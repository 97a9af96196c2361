// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>

#include <mutex>

class Track;

// The right to add one photo to one accepted wish, held by the guest that wished. Issued and redeemed on
// the GUI thread; the server's threads ask whether a guest holds one before they read a photo's bytes,
// so the song behind a ticket is never touched there. Thread-safe.
class PhotoTickets
{
public:
    // A new ticket for `track`, wished by the phone with `token`; the oldest ones make room.
    QByteArray issue(const QByteArray& token, Track* track, qint64 nowMs);
    bool holds(const QByteArray& token, const QByteArray& ticket) const;
    // The song the guest's ticket belongs to, or nullptr.
    Track* songOf(const QByteArray& token, const QByteArray& ticket) const;
    // The ticket has served its photo.
    void redeem(const QByteArray& ticket);

private:
    struct Ticket
    {
        QByteArray token;
        Track* track = nullptr;
        qint64 issuedMs = 0;
    };
    mutable std::mutex mutex;
    QHash<QByteArray, Ticket> tickets;
};
