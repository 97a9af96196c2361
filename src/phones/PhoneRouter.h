// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "phones/PhoneLanguages.h"
#include "phones/PhoneSnapshot.h"
#include "phones/phonerequests.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <mutex>

// One request as the server received it, already cut to size: names and values of the query and the
// form as sent (percent-decoding done), never more than the limits allow.
struct PhoneRequest
{
    QByteArray method;
    QByteArray path;
    QByteArray cookie;
    QByteArray language; // the Accept-Language header, cut to size
    QByteArray address;  // the peer's IP address as text
    QHash<QByteArray, QByteArray> query;
    QHash<QByteArray, QByteArray> form;
    qint64 nowMs = 0;
};

// What to answer; or, for a wish, a photo or the event stream, what the server has to do first.
struct PhoneReply
{
    enum class Action { None, Wish, Photo, Events };
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QByteArray setCookie;
    QByteArray cacheControl = "no-store";
    Action action = Action::None;
    QByteArray token; // the phone's, for the actions
    int songId = -1;
    QByteArray ticket;
    QString comment;
};

// Limits of the server against one address and one phone.
struct PhoneLimits
{
    int wishBurst = 6;              // wishes a phone may make at once ...
    qint64 wishIntervalMs = 3000;   // ... and one more every so often
    int addressBurst = 10;          // wishes, photos and PINs from one address at once ...
    qint64 addressIntervalMs = 500; // ... and one more every so often
    int pinBurst = 5;               // PIN attempts from one address ...
    qint64 pinIntervalMs = 12000;
    int tokenBurst = 30; // new tokens for one address ...
    qint64 tokenIntervalMs = 2000;
    int maxTokens = 10000;
    int maxResults = 40; // songs in one search answer
    int connections = 1000;
    int connectionsPerAddress = 48;
    // Once fewer than this many connections are free, they are kept for addresses holding fewer than
    // `fewConnections` (a phone's browser opens about six): many addresses that each hold many cannot
    // lock out a guest who arrives. Half, since every guest's phone holds its event stream.
    int reservedConnections = 500;
    int fewConnections = 6;
    int threads = 2;
    unsigned timeoutSeconds = 20;    // idle time once a request's head has come
    unsigned headTimeoutSeconds = 5; // for all of a request's head
    int photoUploads = 8;            // photos held in memory at once ...
    int photoUploadsPerAddress = 2;  // ... of which one address may send so many
    // A photo upload that brings less than this in any window of that length is dropped.
    qint64 minUploadBytesPerSecond = 8LL * 1024;
    qint64 uploadWindowMs = 10000;
};

// Answers the phones' requests from the published snapshot: the page itself, the search, the queue's
// state and the PIN; checks wishes and photos and hands them on. Knows no song, no queue, no file: only
// snapshots and compiled-in resources. Thread-safe.
class PhoneRouter
{
public:
    explicit PhoneRouter(const PhoneLimits& chosen = PhoneLimits());

    void publish(std::shared_ptr<const PhoneSnapshot> snapshot);
    std::shared_ptr<const PhoneSnapshot> snapshot() const;
    // An empty PIN lets every phone in. A new PIN locks out every phone let in with the one before.
    void setPin(const QString& pin);
    // The language of the phone's last request ("" for the host's), and a text of `context` in it.
    QString languageOf(const QByteArray& token) const;
    QString translate(const QString& language, const char* context, const char* source) const;
    // The language (as translate() takes it) that a request's Accept-Language header asks for.
    QString chooseLanguage(const QByteArray& acceptLanguage) const;

    PhoneReply route(const PhoneRequest& request);
    // Whether the phone with this Cookie header is known and let in (by the PIN, where there is one).
    bool admits(const QByteArray& cookie);

    // The JSON of a refusal or a plain answer: {"ok":false,"message":...}.
    static QByteArray message(bool ok, const QString& text);

private:
    struct Guest
    {
        quint64 admittedWithPin = 0; // the PIN's generation the phone was let in with; 0: never
        qint64 lastSeenMs = 0;
        QString language;
    };
    // The phone's known token, or a new one for a phone without (false: refused, too many new ones).
    bool identify(const PhoneRequest& request, QByteArray& token, PhoneReply& reply);
    PhoneReply staticFile(const QByteArray& path, const QString& language) const;
    QString say(const QString& language, const char* source) const;
    PhoneReply search(const PhoneRequest& request, const PhoneSnapshot& snapshot,
                      const QString& language) const;
    PhoneReply state(const QByteArray& token, const PhoneSnapshot& snapshot);
    bool admitted(const QByteArray& token);
    bool admittedLocked(const QByteArray& token) const;

    const PhoneLimits limits;
    const PhoneLanguages languages;
    // The page in each language it speaks ("" the host's), made once.
    QHash<QString, QByteArray> pages;
    mutable std::mutex mutex;
    std::shared_ptr<const PhoneSnapshot> published = std::make_shared<PhoneSnapshot>();
    QString pin;
    quint64 pinGeneration = 1;
    QHash<QByteArray, Guest> guests;
    phones::RateLimiter wishesPerPhone;
    phones::RateLimiter actionsPerAddress;
    phones::RateLimiter pinsPerAddress;
    phones::RateLimiter tokensPerAddress;
};
