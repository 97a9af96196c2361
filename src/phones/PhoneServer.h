// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "phones/PhoneRouter.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// What the server asks of the party: wishes and photos. Called on the server's threads; the answer is
// given exactly once, from any thread, and may come later (the server keeps the phone waiting meanwhile).
class PhoneBackend
{
public:
    using Answer = std::function<void(int status, const QByteArray& json)>;
    virtual ~PhoneBackend() = default;
    // `address` is the phone's: a guest is its token and the address it came from.
    virtual void wish(const QByteArray& token, const QByteArray& address, int songId, Answer answer) = 0;
    // Whether the phone holds this photo ticket; asked before a photo's bytes are read.
    virtual bool holdsTicket(const QByteArray& token, const QByteArray& ticket) const = 0;
    virtual void photo(const QByteArray& token, const QByteArray& ticket, const QByteArray& photo,
                       const QString& comment, Answer answer) = 0;
};

// The HTTP server for the guests' phones, on libmicrohttpd: its own polling threads serve every
// connection (a thousand idle or slow ones cost no thread), with limits on connections in all and per
// address, on idle time and on each connection's memory. Requests go to the router; wishes and photos
// go to the backend while their connection waits, suspended; the event stream sends the queue each time
// a new snapshot is published.
class PhoneServer
{
public:
    PhoneServer(PhoneRouter& router, PhoneBackend& backend, const PhoneLimits& limits = PhoneLimits());
    // Stops the server.
    ~PhoneServer();
    PhoneServer(const PhoneServer&) = delete;
    PhoneServer& operator=(const PhoneServer&) = delete;

    // Listens on every IPv4 address of this machine at `port` (0: any free port). False with the reason
    // in `error` when it cannot.
    bool start(quint16 port, QString* error = nullptr);
    // Answers the phones still waiting that the party has closed, ends the event streams, closes every
    // connection and stops the threads.
    void stop();
    bool isRunning() const;
    quint16 port() const { return boundPort; }

    // A new snapshot is published: every event stream sends it. With `ping`, the streams with nothing new
    // send a comment line, so that a phone that has gone is noticed.
    void wakeStreams(bool ping = false);

    struct Core;

private:
    std::shared_ptr<Core> core;
    quint16 boundPort = 0;
};
