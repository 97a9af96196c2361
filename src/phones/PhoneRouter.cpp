// SPDX-License-Identifier: GPL-3.0-or-later
#include "phones/PhoneRouter.h"

#include "base/appidentity.h"
#include "base/runlog.h"

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
        // The favicon is the program's own icon.
        initVimoResources();
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
    {"/favicon.png", ":/icons/vimo-64.png", "image/png"},
};

// Every text of the page, in the page's words: index.html names them as {{text}}, app.js as t("text");
// both get them in the phone's language. Listed here, so that the translation tools find them.
const char* const pageTexts[] = {
    QT_TRANSLATE_NOOP("PhonePage", "Vimo – wish a song"),
    QT_TRANSLATE_NOOP("PhonePage", "Enter the PIN shown on the screen"),
    QT_TRANSLATE_NOOP("PhonePage", "Let me in"),
    QT_TRANSLATE_NOOP("PhonePage", "Now playing"),
    QT_TRANSLATE_NOOP("PhonePage", "Nothing yet – wish the first song!"),
    QT_TRANSLATE_NOOP("PhonePage", "Waiting"),
    QT_TRANSLATE_NOOP("PhonePage", "No wish waiting."),
    QT_TRANSLATE_NOOP("PhonePage", "Add a photo and a comment"),
    QT_TRANSLATE_NOOP("PhonePage", "Your photo"),
    QT_TRANSLATE_NOOP("PhonePage", "Your comment"),
    QT_TRANSLATE_NOOP("PhonePage", "Send the photo"),
    QT_TRANSLATE_NOOP("PhonePage", "No photo"),
    QT_TRANSLATE_NOOP("PhonePage", "Wish a song"),
    QT_TRANSLATE_NOOP("PhonePage", "Artist or title"),
    QT_TRANSLATE_NOOP("PhonePage", "Search artist or title"),
    QT_TRANSLATE_NOOP("PhonePage", "Genres"),
    QT_TRANSLATE_NOOP("PhonePage", "More songs match: type more of the name."),
    QT_TRANSLATE_NOOP("PhonePage", "The jukebox cannot be reached."),
    QT_TRANSLATE_NOOP("PhonePage", "paused"),
    QT_TRANSLATE_NOOP("PhonePage", "%1 left"),
    QT_TRANSLATE_NOOP("PhonePage", "All genres"),
    QT_TRANSLATE_NOOP("PhonePage", "Wish"),
    QT_TRANSLATE_NOOP("PhonePage", "Wish %1"),
    QT_TRANSLATE_NOOP("PhonePage", "waiting"),
    QT_TRANSLATE_NOOP("PhonePage", "playing"),
    QT_TRANSLATE_NOOP("PhonePage", "played"),
    QT_TRANSLATE_NOOP("PhonePage", "your wish"),
    QT_TRANSLATE_NOOP("PhonePage", "Your wish is playing now: %1"),
    QT_TRANSLATE_NOOP("PhonePage", "Take or choose a photo first."),
    QT_TRANSLATE_NOOP("PhonePage", "The photo is larger than 15 MB."),
    QT_TRANSLATE_NOOP("PhonePage", "Sending the photo …"),
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

// The page with its texts in one language: {{text}} as escaped HTML, the script's texts as JSON inside
// the page (with "<" escaped, so no text can end the script element), the language in <html lang>.
QByteArray renderedPage(const PhoneLanguages& languages, const QString& language)
{
    QString page = QString::fromUtf8(pageContents().value("/"));
    QJsonObject scriptTexts;
    for (const char* text : pageTexts) {
        const QString translated = languages.translate(language, "PhonePage", text);
        page.replace(QStringLiteral("{{%1}}").arg(QString::fromUtf8(text)), translated.toHtmlEscaped());
        scriptTexts.insert(QString::fromUtf8(text), translated);
    }
    const QString json = QString::fromUtf8(QJsonDocument(scriptTexts).toJson(QJsonDocument::Compact))
                             .replace(QLatin1Char('<'), QStringLiteral("\\u003c"));
    page.replace(QStringLiteral("{{texts}}"), json);
    // The host's language is the one the page's own texts came out in.
    const QString shown = language.isEmpty()
                              ? (languages.translate(language, "PhonePage", "Wish") == QLatin1String("Wish")
                                     ? QStringLiteral("en")
                                     : QStringLiteral("de"))
                              : language;
    page.replace(QStringLiteral("<html lang=\"en\">"), QStringLiteral("<html lang=\"%1\">").arg(shown));
    return page.toUtf8();
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
    for (const QString& language : {QString(), QStringLiteral("en"), QStringLiteral("de")})
        pages.insert(language, renderedPage(languages, language));
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
    if (newPin != pin)
        ++pinGeneration;
    pin = newPin;
}

QString PhoneRouter::languageOf(const QByteArray& token) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return guests.value(token).language;
}

QString PhoneRouter::translate(const QString& language, const char* context, const char* source) const
{
    return languages.translate(language, context, source);
}

QString PhoneRouter::chooseLanguage(const QByteArray& acceptLanguage) const
{
    return languages.choose(acceptLanguage);
}

QString PhoneRouter::say(const QString& language, const char* source) const
{
    return languages.translate(language, "PhoneRouter", source);
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
    const QString language = languages.choose(request.language);
    auto known = guests.find(token);
    if (!token.isEmpty() && known != guests.end()) {
        known->lastSeenMs = request.nowMs;
        known->language = language;
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
    guests.insert(token, Guest{0, request.nowMs, language});
    reply.setCookie = phones::tokenCookie(token);
    return true;
}

bool PhoneRouter::admits(const QByteArray& cookie)
{
    const QByteArray token = phones::tokenFromCookie(cookie);
    std::lock_guard<std::mutex> lock(mutex);
    return !token.isEmpty() && guests.contains(token) && admittedLocked(token);
}

bool PhoneRouter::admitted(const QByteArray& token)
{
    std::lock_guard<std::mutex> lock(mutex);
    return admittedLocked(token);
}

bool PhoneRouter::admittedLocked(const QByteArray& token) const
{
    return pin.isEmpty() || guests.value(token).admittedWithPin == pinGeneration;
}

PhoneReply PhoneRouter::staticFile(const QByteArray& path, const QString& language) const
{
    for (const PageFile& file : pageFiles) {
        if (path == file.path) {
            PhoneReply reply;
            reply.contentType = file.contentType;
            reply.body = path == "/" ? pages.value(language) : pageContents().value(file.path);
            return reply;
        }
    }
    return jsonReply(
        404, message(false, say(language, QT_TRANSLATE_NOOP("PhoneRouter", "There is no such page."))));
}

PhoneReply PhoneRouter::route(const PhoneRequest& request)
{
    const QString language = languages.choose(request.language);
    const auto inLanguage = [this, &language](const char* text) { return say(language, text); };
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    if (!get && !post)
        return jsonReply(
            405, message(false, inLanguage(QT_TRANSLATE_NOOP("PhoneRouter", "This is not allowed."))));
    if (request.path.size() > 64)
        return jsonReply(
            404, message(false, inLanguage(QT_TRANSLATE_NOOP("PhoneRouter", "There is no such page."))));

    PhoneReply reply;
    QByteArray token;
    const QByteArray known = phones::tokenFromCookie(request.cookie);
    if (!identify(request, token, reply))
        return jsonReply(429, message(false, inLanguage(QT_TRANSLATE_NOOP(
                                                 "PhoneRouter", "Too many requests; wait a moment."))));
    // Changes come only from a phone that already has its token: a page of another site cannot make a
    // phone wish, since the token never travels with another site's request.
    if (post && (known.isEmpty() || known != token)) {
        PhoneReply refused = jsonReply(
            403, message(false, inLanguage(QT_TRANSLATE_NOOP("PhoneRouter", "Please reload the page."))));
        refused.setCookie = reply.setCookie;
        return refused;
    }
    const auto withCookie = [&reply](PhoneReply answer) {
        answer.setCookie = reply.setCookie;
        return answer;
    };

    if (get && !request.path.startsWith("/api/"))
        return withCookie(staticFile(request.path, language));

    const std::shared_ptr<const PhoneSnapshot> current = snapshot();
    if (get && request.path == "/api/state")
        return withCookie(state(token, *current));

    if (post && request.path == "/api/pin") {
        if (!pinsPerAddress.allow(request.address, request.nowMs))
            return withCookie(
                jsonReply(429, message(false, inLanguage(QT_TRANSLATE_NOOP(
                                                  "PhoneRouter", "Too many attempts; wait a minute.")))));
        std::lock_guard<std::mutex> lock(mutex);
        if (!pin.isEmpty() && !phones::pinMatches(request.form.value("pin"), pin)) {
            logMessage(QCoreApplication::translate("PhoneRouter", "A phone of guest %1 gave a wrong PIN.")
                           .arg(phones::guestTag(token)));
            return withCookie(jsonReply(
                403, message(false, inLanguage(QT_TRANSLATE_NOOP("PhoneRouter", "That is not the PIN.")))));
        }
        guests[token].admittedWithPin = pinGeneration;
        return withCookie(jsonReply(200, message(true, QString())));
    }

    if (!admitted(token))
        return withCookie(
            jsonReply(403, message(false, inLanguage(QT_TRANSLATE_NOOP(
                                              "PhoneRouter", "Please enter the PIN shown on the screen.")))));

    if (get && request.path == "/api/search")
        return withCookie(search(request, *current, language));

    if (get && request.path == "/api/cover") {
        if (current->coverJpeg.isEmpty())
            return withCookie(jsonReply(
                404, message(false, inLanguage(QT_TRANSLATE_NOOP("PhoneRouter", "There is no such page.")))));
        // Its address changes with the song, so a phone may keep it.
        PhoneReply cover = withCookie(PhoneReply());
        cover.contentType = "image/jpeg";
        cover.cacheControl = "private, max-age=3600";
        cover.body = current->coverJpeg;
        return cover;
    }

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
            return withCookie(jsonReply(
                429, message(false, inLanguage(QT_TRANSLATE_NOOP(
                                        "PhoneRouter", "Too many wishes at once; wait a moment.")))));
        reply.token = token;
        if (wish) {
            const std::optional<int> id = phones::songId(request.form.value("id"));
            if (!id || *id >= static_cast<int>(current->library->songs.size()))
                return withCookie(
                    jsonReply(400, message(false, inLanguage(QT_TRANSLATE_NOOP(
                                                      "PhoneRouter", "This song is not in the library.")))));
            reply.action = PhoneReply::Action::Wish;
            reply.songId = *id;
            return reply;
        }
        // The page names the ticket in the address, so that it is checked before the photo is read.
        const QByteArray ticket = request.form.value("ticket", request.query.value("ticket"));
        const std::optional<QString> comment = phones::commentText(request.form.value("comment"));
        if (!phones::isToken(ticket) || !comment)
            return withCookie(
                jsonReply(400, message(false, inLanguage(QT_TRANSLATE_NOOP(
                                                  "PhoneRouter", "The photo could not be taken on.")))));
        reply.action = PhoneReply::Action::Photo;
        reply.ticket = ticket;
        reply.comment = *comment;
        return reply;
    }
    return withCookie(jsonReply(
        404, message(false, inLanguage(QT_TRANSLATE_NOOP("PhoneRouter", "There is no such page.")))));
}

PhoneReply PhoneRouter::state(const QByteArray& token, const PhoneSnapshot& snapshot)
{
    bool needPin = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        needPin = !admittedLocked(token);
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

PhoneReply PhoneRouter::search(const PhoneRequest& request, const PhoneSnapshot& snapshot,
                               const QString& language) const
{
    const PhoneLibrary& library = *snapshot.library;
    const std::optional<QString> text = phones::searchText(request.query.value("q"));
    const std::optional<int> genre =
        phones::genreIndex(request.query.value("g"), static_cast<int>(library.chips.size()));
    if (!text || !genre)
        return jsonReply(
            400,
            message(false, say(language, QT_TRANSLATE_NOOP("PhoneRouter", "This search cannot be made."))));
    const QStringList words = text->split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QJsonArray songs;
    bool more = false;
    for (const int id : library.byKey) {
        const PhoneSong& song = library.songs[static_cast<size_t>(id)];
        if (*genre >= 0 && song.genre != *genre)
            continue;
        if (!std::all_of(words.begin(), words.end(),
                         [&song](const QString& word) { return song.folded.contains(word); }))
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
