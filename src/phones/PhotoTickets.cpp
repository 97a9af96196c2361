// SPDX-License-Identifier: GPL-3.0-or-later
#include "phones/PhotoTickets.h"

#include "phones/phonerequests.h"

#include <algorithm>

namespace {

constexpr int maxTickets = 1000;
constexpr qint64 ticketLifetimeMs = 60LL * 60 * 1000;

} // namespace

QByteArray PhotoTickets::issue(const QByteArray& token, Track* track, qint64 nowMs)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = tickets.begin(); it != tickets.end();)
        it = nowMs - it->issuedMs > ticketLifetimeMs ? tickets.erase(it) : std::next(it);
    if (tickets.size() >= maxTickets)
        tickets.erase(std::min_element(tickets.begin(), tickets.end(), [](const Ticket& a, const Ticket& b) {
            return a.issuedMs < b.issuedMs;
        }));
    const QByteArray ticket = phones::newToken();
    tickets.insert(ticket, Ticket{token, track, nowMs});
    return ticket;
}

bool PhotoTickets::holds(const QByteArray& token, const QByteArray& ticket) const
{
    return songOf(token, ticket) != nullptr;
}

Track* PhotoTickets::songOf(const QByteArray& token, const QByteArray& ticket) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = tickets.constFind(ticket);
    return found != tickets.constEnd() && !token.isEmpty() && found->token == token ? found->track : nullptr;
}

void PhotoTickets::redeem(const QByteArray& ticket)
{
    std::lock_guard<std::mutex> lock(mutex);
    tickets.remove(ticket);
}
