// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <memory>

namespace vimobench {

// What the hostile guests got.
struct HostileLoadResult
{
    int freshWishes = 0;       // wishes sent with a fresh token each, from one address
    int freshAccepted = 0;     // ... of which the queue took
    int slowUploads = 0;       // trickling photo uploads started
    int forgedPhotos = 0;      // photos sent with a made-up ticket
    int forgedRefusedFast = 0; // ... refused within a second
    int heldConnections = 0;   // the most slow connections held at once from the many addresses
};

// Hostile guests against 127.0.0.1:`port` on threads of their own, each from loopback addresses of its own
// (127.0.0.220 and up), until `stop` is set: a wisher who takes a fresh token before every wish; a phone
// that keeps four photo uploads trickling a byte every half second; one that sends made-up tickets with a
// progressive JPEG of 600 scans ten times a second; and 21 addresses that each hold as many connections as
// they are let open, sending a request head a byte every few seconds.
class HostileLoad
{
public:
    HostileLoad(int port, int songs);
    ~HostileLoad();
    HostileLoad(const HostileLoad&) = delete;
    HostileLoad& operator=(const HostileLoad&) = delete;
    // Stops every hostile guest and returns what they got.
    HostileLoadResult finish();

private:
    struct Guests;
    std::unique_ptr<Guests> guests;
};

} // namespace vimobench
