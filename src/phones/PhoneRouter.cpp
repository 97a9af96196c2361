// SPDX-License-Identifier: GPL-3.0-or-later
#include "phones/PhoneRouter.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

// The page's files live in the static core library, where nothing references them by symbol.
static void initPhoneResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(phones);
        return true;
    }();
    Q_UNUSED(registered)
}

namespace {

struct PageFile
{
    const char* path;
    const char* resource;
    const char* contentType;
};

// The only files the server ever sends: a fixed table, so no request names a file.
const PageFile pageFiles[] = {
    {"/", ":/phones/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/phones/app.js", "text/javascript; charset=utf-8"},
    {"/app.css", ":/phones/app.css", "text/css; charset=utf-8"},
};

QHash<QByteArray, QByteArray>& pageContents()
{
    static QHash<QByteArray, QByteArray> contents = [] {
        initPhoneResources();
        QHash<QByteArray, QByteArray> loaded;
        for (const PageFile& file : pageFiles) {
            QFile resource(QString::fromLatin1(file.resource));
            if (resource.open(QIODevice::ReadOnly))
                loaded.insert(file.path, resource.readAll());
        }
        return loaded;
    }();
    return contents;
}

PhoneReply jsonReply(int status, const QByteArray& body)
{
    PhoneReply reply;
    reply.status = status;
    reply.body = body;
    return reply;
}

QString tr(const char* text)
{
    return QCoreApplication::translate("PhoneRouter", text);
}

} // namespace

PhoneRouter::PhoneRouter(const PhoneLimits& chosen)
    : limits(chosen), wishesPerPhone(chosen.wishBurst, chosen.wishIntervalMs),
      actionsPerAddress(chosen.addressBurst, chosen.addressIntervalMs),
      pinsPerAddress(chosen.pinBurst, chosen.pinIntervalMs),
      tokensPerAddress(chosen.tokenBurst, chosen.tokenIntervalMs)
{
    // Loaded here, on the thread that makes the server, before any request can ask for them.
    pageContents();
}

void PhoneRouter::publish(std::shared_ptr<const PhoneSnapshot> snapshot)
{
    std::lock_guard<std::mutex> lock(mutex);
    published = std::move(snapshot);
}

std::shared_ptr<const PhoneSnapshot> PhoneRouter::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return published;
}

void PhoneRouter::setPin(const QString& newPin)
{
    std::lock_guard<std::mutex> lock(mutex);
    pin = newPin;
}

QByteArray PhoneRouter::message(bool ok, const QString& text)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("ok"), ok}, {QStringLiteral("message"), text}})
        .toJson(QJsonDocument::Compact);
}

bool PhoneRouter::identify(const PhoneRequest& request, QByteArray& token, PhoneReply& reply)
{
    std::lock_guard<std::mutex> lock(mutex);
    token = phones::tokenFromCookie(request.cookie);
    auto known = guests.find(token);
    if (!token.isEmpty() && known != guests.end()) {
        known->lastSeenMs = request.nowMs;
        return true;
    }
    if (!tokensPerAddress.allow(request.address, request.nowMs))
        return false;
    if (guests.size() >= limits.maxTokens) {
        // The phone seen longest ago makes room; it gets a new token when it comes back.
        auto oldest = std::min_element(guests.begin(), guests.end(), [](const Guest& a, const Guest& b) {
            return a.lastSeenMs < b.lastSeenMs;
        });
        guests.erase(oldest);
    }
    token = phones::newToken();
    guests.insert(token, Guest{false, request.nowMs});
    reply.setCookie = phones::tokenCookie(token);
    return true;
}

bool PhoneRouter::admits(const QByteArray& cookie)
{
    const QByteArray token = phones::tokenFromCookie(cookie);
    std::lock_guard<std::mutex> lock(mutex);
    return !token.isEmpty() && guests.contains(token) && (pin.isEmpty() || guests.value(token).admitted);
}

bool PhoneRouter::admitted(const QByteArray& token)
{
    std::lock_guard<std::mutex> lock(mutex);
    return pin.isEmpty() || guests.value(token).admitted;
}

PhoneReply PhoneRouter::staticFile(const QByteArray& path) const
{
    for (const PageFile& file : pageFiles) {
        if (path == file.path) {
            PhoneReply reply;
            reply.contentType = file.contentType;
            reply.body = pageContents().value(file.path);
            return reply;
        }
    }
    return jsonReply(404, message(false, tr("There is no such page.")));
}

PhoneReply PhoneRouter::route(const PhoneRequest& request)
{
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    if (!get && !post)
        return jsonReply(405, message(false, tr("This is not allowed.")));
    if (request.path.size() > 64)
        return jsonReply(404, message(false, tr("There is no such page.")));

    PhoneReply reply;
    QByteArray token;
    const QByteArray known = phones::tokenFromCookie(request.cookie);
    if (!identify(request, token, reply))
        return jsonReply(429, message(false, tr("Too many requests; wait a moment.")));
    // Changes come only from a phone that already has its token: a page of another site cannot make a
    // phone wish, since the token never travels with another site's request.
    if (post && (known.isEmpty() || known != token)) {
        PhoneReply refused = jsonReply(403, message(false, tr("Please reload the page.")));
        refused.setCookie = reply.setCookie;
        return refused;
    }
    const auto withCookie = [&reply](PhoneReply answer) {
        answer.setCookie = reply.setCookie;
        return answer;
    };

    if (get && !request.path.startsWith("/api/"))
        return withCookie(staticFile(request.path));

    const std::shared_ptr<const PhoneSnapshot> current = snapshot();
    if (get && request.path == "/api/state")
        return withCookie(state(token, *current));

    if (post && request.path == "/api/pin") {
        if (!pinsPerAddress.allow(request.address, request.nowMs))
            return withCookie(jsonReply(429, message(false, tr("Too many attempts; wait a minute."))));
        std::lock_guard<std::mutex> lock(mutex);
        if (!pin.isEmpty() && !phones::pinMatches(request.form.value("pin"), pin))
            return withCookie(jsonReply(403, message(false, tr("That is not the PIN."))));
        guests[token].admitted = true;
        return withCookie(jsonReply(200, message(true, QString())));
    }

    if (!admitted(token))
        return withCookie(jsonReply(403, message(false, tr("Please enter the PIN shown on the screen."))));

    if (get && request.path == "/api/search")
        return withCookie(search(request, *current));

    if (get && request.path == "/api/events") {
        reply.action = PhoneReply::Action::Events;
        reply.contentType = "text/event-stream";
        reply.token = token;
        return reply;
    }

    if (post && (request.path == "/api/wish" || request.path == "/api/photo")) {
        const bool wish = request.path == "/api/wish";
        bool allowed = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            allowed = actionsPerAddress.allow(request.address, request.nowMs) &&
                      (!wish || wishesPerPhone.allow(token, request.nowMs));
        }
        if (!allowed)
            return withCookie(jsonReply(429, message(false, tr("Too many wishes at once; wait a moment."))));
        reply.token = token;
        if (wish) {
            const std::optional<int> id = phones::songId(request.form.value("id"));
            if (!id || *id >= static_cast<int>(current->library->songs.size()))
                return withCookie(jsonReply(400, message(false, tr("This song is not in the library."))));
            reply.action = PhoneReply::Action::Wish;
            reply.songId = *id;
            return reply;
        }
        // The page names the ticket in the address, so that it is checked before the photo is read.
        const QByteArray ticket = request.form.value("ticket", request.query.value("ticket"));
        const std::optional<QString> comment = phones::commentText(request.form.value("comment"));
        if (!phones::isToken(ticket) || !comment)
            return withCookie(jsonReply(400, message(false, tr("The photo could not be taken on."))));
        reply.action = PhoneReply::Action::Photo;
        reply.ticket = ticket;
        reply.comment = *comment;
        return reply;
    }
    return withCookie(jsonReply(404, message(false, tr("There is no such page."))));
}

PhoneReply PhoneRouter::state(const QByteArray& token, const PhoneSnapshot& snapshot)
{
    bool needPin = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        needPin = !pin.isEmpty() && !guests.value(token).admitted;
    }
    QJsonArray chips;
    for (const QString& chip : snapshot.library->chips)
        chips.append(chip);
    QJsonObject object{{QStringLiteral("pin"), needPin},
                       {QStringLiteral("chips"), chips},
                       {QStringLiteral("commentLimit"), phones::maxCommentLength}};
    if (!needPin)
        object.insert(QStringLiteral("queue"), QJsonDocument::fromJson(snapshot.queueJson).object());
    return jsonReply(200, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

PhoneReply PhoneRouter::search(const PhoneRequest& request, const PhoneSnapshot& snapshot) const
{
    const PhoneLibrary& library = *snapshot.library;
    const std::optional<QString> text = phones::searchText(request.query.value("q"));
    const std::optional<int> genre =
        phones::genreIndex(request.query.value("g"), static_cast<int>(library.chips.size()));
    if (!text || !genre)
        return jsonReply(400, message(false, tr("This search cannot be made.")));
    const QStringList words = text->split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QJsonArray songs;
    bool more = false;
    for (const int id : library.byKey) {
        const PhoneSong& song = library.songs[static_cast<size_t>(id)];
        if (*genre >= 0 && song.genre != *genre)
            continue;
        if (!std::all_of(words.begin(), words.end(),
                         [&song](const QString& word) { return song.key.contains(word); }))
            continue;
        if (songs.size() >= limits.maxResults) {
            more = true;
            break;
        }
        const auto state = static_cast<size_t>(id) < snapshot.states.size()
                               ? snapshot.states[static_cast<size_t>(id)]
                               : PhoneSongState::Free;
        songs.append(QJsonObject{{QStringLiteral("id"), id},
                                 {QStringLiteral("artist"), song.artist},
                                 {QStringLiteral("title"), song.title},
                                 {QStringLiteral("state"), static_cast<int>(state)}});
    }
    return jsonReply(
        200, QJsonDocument(QJsonObject{{QStringLiteral("songs"), songs}, {QStringLiteral("more"), more}})
                 .toJson(QJsonDocument::Compact));
}
