// SPDX-License-Identifier: GPL-3.0-or-later
#include "phones/PhoneDesk.h"

#include "base/plaintext.h"
#include "base/runlog.h"
#include "base/settings.h"
#include "base/textfold.h"
#include "base/wholefile.h"
#include "camera/photocomment.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/PlayQueue.h"
#include "phones/photointake.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QSettings>

#include <algorithm>

namespace {

// Genre chips a phone shows besides "All genres".
constexpr int maxChips = 12;
// Ports tried after the one set, when it is taken.
constexpr int portAttempts = 20;
// The queue goes out at least this often, so the time left on a phone that has just come stays right.
constexpr qint64 refreshMs = 10000;

qint64 monotonicMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

} // namespace

PhoneDesk::PhoneDesk(QSettings* store, PhoneParty partyHooks, const PhoneLimits& limits, QObject* parent)
    : QObject(parent), settings(store), party(std::move(partyHooks)), router(limits),
      server(router, *this, limits)
{
    intake.setMaxThreadCount(1);
    bool enabled = false;
    if (settings) {
        settings->beginGroup(QStringLiteral("Phones"));
        enabled = readIntOrWriteDefault(*settings, QStringLiteral("Enabled"), 0) != 0;
        settings->endGroup();
    }
    readSettings();
    publishTimer.setInterval(250);
    connect(&publishTimer, &QTimer::timeout, this, [this]() { publish(); });
    pingTimer.setInterval(15000);
    connect(&pingTimer, &QTimer::timeout, this, [this]() { server.wakeStreams(true); });
    if (enabled)
        start();
}

PhoneDesk::~PhoneDesk()
{
    server.stop();
    intake.waitForDone();
}

void PhoneDesk::readSettings()
{
    if (settings) {
        settings->beginGroup(QStringLiteral("Phones"));
        preferredPort = readIntOrWriteDefault(*settings, QStringLiteral("Port"), 8080);
        wishesPerGuest = std::max(1, readIntOrWriteDefault(*settings, QStringLiteral("WishesPerGuest"), 2));
        if (settings->contains(QStringLiteral("PIN")))
            pinText = settings->value(QStringLiteral("PIN")).toString().trimmed();
        else
            settings->setValue(QStringLiteral("PIN"), QString());
        settings->endGroup();
        settings->sync();
    }
    if (preferredPort < 0 || preferredPort > 65535)
        preferredPort = 8080;
    // A PIN no phone could type would keep every guest out, and one left out would let in every guest the
    // host meant to keep out: phones stay off until the host sets one that works.
    const bool typeable = std::all_of(pinText.begin(), pinText.end(), [](QChar character) {
        return character.unicode() > 32 && character.unicode() < 127;
    });
    problemText.clear();
    if (pinText.size() > phones::maxPinLength || !typeable)
        problemText =
            tr("The PIN for phone wishes (setting Phones/PIN) cannot be used: it must be at most %1 "
               "letters, digits or signs without blanks. Phone wishes stay off until it is mended.")
                .arg(phones::maxPinLength);
    router.setPin(pinText);
}

bool PhoneDesk::isRunning() const
{
    return server.isRunning();
}

quint16 PhoneDesk::port() const
{
    return server.port();
}

void PhoneDesk::setEnabled(bool on)
{
    if (settings) {
        settings->beginGroup(QStringLiteral("Phones"));
        settings->setValue(QStringLiteral("Enabled"), on ? 1 : 0);
        settings->endGroup();
        settings->sync();
    }
    if (on)
        start();
    else
        stop();
}

bool PhoneDesk::start()
{
    if (server.isRunning())
        return true;
    // The host may have changed the port, the PIN or the share of each phone since the last start.
    readSettings();
    if (!problemText.isEmpty()) {
        logMessage(problemText);
        emit stateChanged(false, QString());
        return false;
    }
    publish(true);
    QString error;
    bool started = false;
    for (int attempt = 0; attempt < portAttempts && !started; ++attempt) {
        const int port = preferredPort == 0 ? 0 : preferredPort + attempt;
        if (port > 65535)
            break;
        started = server.start(static_cast<quint16>(port), &error);
        if (preferredPort == 0)
            break;
    }
    if (!started) {
        logMessage(tr("Phone wishes could not start on port %1 or the %2 ports after it: %3")
                       .arg(preferredPort)
                       .arg(portAttempts - 1)
                       .arg(error));
        emit stateChanged(false, QString());
        return false;
    }
    const QString host = lanAddress();
    url = QStringLiteral("http://%1:%2/")
              .arg(host.isEmpty() ? QStringLiteral("127.0.0.1") : host)
              .arg(server.port());
    if (host.isEmpty())
        logMessage(tr("Phone wishes started at %1, but this computer has no network address: no phone can "
                      "reach it.")
                       .arg(url));
    else
        logMessage(tr("Phone wishes started at %1").arg(url));
    publishTimer.start();
    pingTimer.start();
    emit stateChanged(true, url);
    return true;
}

void PhoneDesk::stop()
{
    if (!server.isRunning()) {
        if (!problemText.isEmpty()) {
            problemText.clear();
            emit stateChanged(false, QString());
        }
        return;
    }
    publishTimer.stop();
    pingTimer.stop();
    server.stop();
    url.clear();
    logMessage(tr("Phone wishes stopped."));
    emit stateChanged(false, QString());
}

QString PhoneDesk::lanAddress() const
{
    // The first IPv4 address of a running network interface that is not the loopback.
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
                return address.toString();
        }
    }
    return QString();
}

void PhoneDesk::refreshLibrary(TrackLibrary* source)
{
    if (!source)
        return;
    QStringList ranking;
    for (int rank = 0; rank < maxChips; ++rank) {
        const QString genre = source->genreAt(rank);
        if (genre.isEmpty())
            break;
        ranking << genre;
    }
    if (library && source->trackCount() == static_cast<int>(songs.size()) && ranking == chips)
        return;
    chips = ranking;
    const auto take = [this](Track* track) {
        const QString& key = track->searchKey();
        if (idByKey.contains(key))
            return;
        idByKey.insert(key, static_cast<int>(songs.size()));
        songs.push_back(track);
        foldedKeys.push_back(foldedForSearch(key));
    };
    source->forEachTrack(take);
    source->forEachPendingTrack(take);

    auto made = std::make_shared<PhoneLibrary>();
    made->songs.reserve(songs.size());
    for (size_t id = 0; id < songs.size(); ++id) {
        const Track* track = songs[id];
        const int chip = chips.indexOf(track->genre());
        made->songs.push_back(
            PhoneSong{track->artist(), track->title(), track->searchKey(), foldedKeys[id], chip});
    }
    made->byKey.resize(songs.size());
    for (size_t id = 0; id < songs.size(); ++id)
        made->byKey[id] = static_cast<int>(id);
    std::sort(made->byKey.begin(), made->byKey.end(), [&made](int a, int b) {
        return made->songs[static_cast<size_t>(a)].key < made->songs[static_cast<size_t>(b)].key;
    });
    for (const QString& chip : qAsConst(chips))
        made->chips << QString(chip).replace(QLatin1Char('\n'), QLatin1Char(' '));
    library = std::move(made);
}

QByteArray PhoneDesk::queueJson(PlayQueue* queue, bool withTime) const
{
    QJsonObject object{{QStringLiteral("capacity"), queue ? queue->queueCapacity() : 0}};
    QJsonArray waiting;
    if (queue) {
        const QList<Track*>& queued = queue->queuedSongs();
        for (int position = 0; position < queued.size(); ++position) {
            const Track* track = queued.at(position);
            QJsonObject song{{QStringLiteral("id"), idByKey.value(track->searchKey(), -1)},
                             {QStringLiteral("artist"), track->artist()},
                             {QStringLiteral("title"), track->title()}};
            if (position == 0 && track->playing()) {
                const int length = static_cast<int>(track->seconds());
                song.insert(QStringLiteral("length"), length);
                if (withTime)
                    song.insert(QStringLiteral("remaining"), std::max(0, length - queue->secondsElapsed()));
                song.insert(QStringLiteral("paused"), party.paused && party.paused());
                // Named by the song and its place in the night's playlist, so each song's cover is
                // fetched once.
                if (party.coverJpeg && !party.coverJpeg(track).isEmpty())
                    song.insert(QStringLiteral("cover"), QStringLiteral("/api/cover?song=%1&n=%2")
                                                             .arg(song.value(QStringLiteral("id")).toInt())
                                                             .arg(queue->playlistLineCount()));
                object.insert(QStringLiteral("head"), song);
            } else {
                waiting.append(song);
            }
        }
    }
    object.insert(QStringLiteral("waiting"), waiting);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void PhoneDesk::publish(bool force)
{
    if (!force && !server.isRunning())
        return;
    const std::shared_ptr<const PhoneLibrary> before = library;
    refreshLibrary(party.library ? party.library() : nullptr);
    PlayQueue* queue = party.queue ? party.queue() : nullptr;
    const QByteArray json = queueJson(queue, true);
    // The time left changes every second, which the phones count down themselves: only a change of the
    // songs, their order or the pause, or the regular refresh, goes out.
    const QByteArray withoutTime = queueJson(queue, false);
    const qint64 now = monotonicMs();
    if (!force && library == before && withoutTime == lastQueueJson && now - lastPublishMs < refreshMs)
        return;
    lastQueueJson = withoutTime;
    lastPublishMs = now;

    auto snapshot = std::make_shared<PhoneSnapshot>();
    snapshot->library = library ? library : std::make_shared<PhoneLibrary>();
    snapshot->states.reserve(songs.size());
    for (const Track* track : songs) {
        PhoneSongState state = PhoneSongState::Free;
        if (track->playing())
            state = PhoneSongState::Playing;
        else if (track->queued())
            state = PhoneSongState::Waiting;
        else if (track->played())
            state = PhoneSongState::Played;
        snapshot->states.push_back(state);
    }
    snapshot->queueJson = json;
    if (queue && party.coverJpeg && !queue->queuedSongs().isEmpty() &&
        queue->queuedSongs().first()->playing())
        snapshot->coverJpeg = party.coverJpeg(queue->queuedSongs().first());
    snapshot->version = ++version;
    router.publish(std::move(snapshot));
    server.wakeStreams();
}

int PhoneDesk::waitingWishesOf(QHash<QByteArray, QList<Track*>>& wishes, const QByteArray& key)
{
    auto found = wishes.find(key);
    if (found == wishes.end())
        return 0;
    QList<Track*>& wished = found.value();
    wished.erase(
        std::remove_if(wished.begin(), wished.end(), [](const Track* track) { return !track->queued(); }),
        wished.end());
    const int count = wished.size();
    if (count == 0)
        wishes.erase(found);
    return count;
}

QString PhoneDesk::refusalText(WishRefusal refusal, const QString& language) const
{
    switch (refusal) {
    case WishRefusal::None:
        break;
    case WishRefusal::NoSong:
        return say(language, QT_TR_NOOP("This song is not in the library."));
    case WishRefusal::QueueFull: {
        PlayQueue* queue = party.queue ? party.queue() : nullptr;
        const Track* head = queue && !queue->queuedSongs().isEmpty() ? queue->queuedSongs().first() : nullptr;
        const int left = head ? static_cast<int>(head->seconds()) - queue->secondsElapsed() : 0;
        return say(language, QT_TR_NOOP("The queue is full, try again in %1."))
            .arg(phones::minutesAndSeconds(left));
    }
    case WishRefusal::Waiting:
        return say(language, QT_TR_NOOP("This song is in the queue already."));
    case WishRefusal::Playing:
        return say(language, QT_TR_NOOP("This song is playing right now."));
    case WishRefusal::Played:
        return say(
            language,
            QT_TR_NOOP("This song has been played; it can be wished again once every song has played."));
    case WishRefusal::NotPlayable:
        return say(language, QT_TR_NOOP("This song cannot be played."));
    }
    return QString();
}

QString PhoneDesk::say(const QString& language, const char* source) const
{
    return router.translate(language, "PhoneDesk", source);
}

QString PhoneDesk::songName(const Track* track)
{
    return oneLineText(track->artist() + QStringLiteral(" - ") + track->title());
}

void PhoneDesk::logWish(const QByteArray& token, const Track* track, const QString& outcome)
{
    logMessage(
        tr("Phone wish from guest %1 for \"%2\": %3").arg(phones::guestTag(token), songName(track), outcome));
}

void PhoneDesk::wish(const QByteArray& token, const QByteArray& address, int songId, Answer answer)
{
    // On a server thread: the wish crosses to the GUI thread, where the queue lives.
    QMetaObject::invokeMethod(
        this, [this, token, address, songId, answer]() { answerWish(token, address, songId, answer); },
        Qt::QueuedConnection);
}

bool PhoneDesk::holdsTicket(const QByteArray& token, const QByteArray& ticket) const
{
    return tickets.holds(token, ticket);
}

void PhoneDesk::answerWish(const QByteArray& token, const QByteArray& address, int songId,
                           const Answer& answer)
{
    const QString language = router.languageOf(token);
    Track* track =
        songId >= 0 && songId < static_cast<int>(songs.size()) ? songs[static_cast<size_t>(songId)] : nullptr;
    if (!track || !party.wish) {
        answer(404, PhoneRouter::message(false, refusalText(WishRefusal::NoSong, language)));
        return;
    }
    // Both counts are tidied, so neither keeps songs that have started.
    const int byPhone = waitingWishesOf(wishesByPhone, token);
    const int byAddress = waitingWishesOf(wishesByAddress, address);
    if (std::max(byPhone, byAddress) >= wishesPerGuest) {
        logWish(token, track,
                tr("refused, the guest's limit of %1 waiting wishes is reached").arg(wishesPerGuest));
        answer(429, PhoneRouter::message(
                        false,
                        say(language, QT_TR_NOOP("Your waiting wishes have reached this party's limit of %1; "
                                                 "wish again when one of them plays."))
                            .arg(wishesPerGuest)));
        return;
    }
    const WishRefusal refusal = party.wish(track);
    if (refusal != WishRefusal::None) {
        logWish(token, track, tr("refused: %1").arg(refusalText(refusal, QString())));
        answer(409, PhoneRouter::message(false, refusalText(refusal, language)));
        return;
    }
    if (track->queued()) {
        wishesByPhone[token].append(track);
        wishesByAddress[address].append(track);
    }
    logWish(token, track, tr("taken into the queue"));
    const QByteArray ticket = tickets.issue(token, track, monotonicMs());
    publish(true);
    answer(200, QJsonDocument(QJsonObject{{QStringLiteral("ok"), true},
                                          {QStringLiteral("message"),
                                           say(language, QT_TR_NOOP("Your wish is in the queue."))},
                                          {QStringLiteral("ticket"), QString::fromLatin1(ticket)}})
                    .toJson(QJsonDocument::Compact));
}

void PhoneDesk::photo(const QByteArray& token, const QByteArray& ticket, const QByteArray& bytes,
                      const QString& comment, Answer answer)
{
    // On a server thread: decoding waits its turn on the desk's own thread, then the photo crosses to
    // the GUI thread, where the song and its portrait name live.
    const QSize size = party.photoSize;
    intake.start([this, token, ticket, bytes, comment, answer, size]() {
        // A ticket redeemed meanwhile by another upload of the same guest is not worth decoding for.
        const phones::PhotoIntake taken =
            tickets.holds(token, ticket) ? phones::takeInPhoto(bytes, size) : phones::PhotoIntake();
        QMetaObject::invokeMethod(
            this,
            [this, token, ticket, taken, comment, answer]() {
                QString refusal;
                if (taken.refusal) {
                    refusal = router.translate(router.languageOf(token), "PhotoIntake", taken.refusal);
                    if (taken.refusalNumber != 0)
                        refusal = refusal.arg(taken.refusalNumber);
                }
                storePhoto(token, ticket, taken.jpeg, refusal, comment, answer);
            },
            Qt::QueuedConnection);
    });
}

void PhoneDesk::storePhoto(const QByteArray& token, const QByteArray& ticket, const QByteArray& jpeg,
                           const QString& refusal, const QString& comment, const Answer& answer)
{
    const QString language = router.languageOf(token);
    Track* track = tickets.songOf(token, ticket);
    if (!track) {
        answer(403, PhoneRouter::message(
                        false, say(language, QT_TR_NOOP("This photo belongs to no wish of yours."))));
        return;
    }
    if (!refusal.isEmpty()) {
        answer(415, PhoneRouter::message(false, refusal));
        return;
    }
    const QString folder = party.portraitFolder ? party.portraitFolder() : QString();
    const QString name = party.namePortrait ? party.namePortrait(track) : QString();
    if (folder.isEmpty() || name.isEmpty()) {
        answer(503, PhoneRouter::message(false,
                                         say(language, QT_TR_NOOP("Photos cannot be kept at this party."))));
        return;
    }
    const QString path = QDir::fromNativeSeparators(folder) + name;
    QString error;
    if (!writeWholeFile(path, jpeg, &error)) {
        logMessage(tr("The photo \"%1\" from a phone could not be written: %2").arg(path, error));
        answer(500, PhoneRouter::message(false, say(language, QT_TR_NOOP("The photo could not be kept."))));
        return;
    }
    writePhotoComment(QFile::encodeName(path).toStdString(), comment.toStdString());
    tickets.redeem(ticket);
    track->setPhotoFileName(name);
    track->setCommentAsked(true);
    if (party.portraitStored)
        party.portraitStored(track, name);
    logMessage(tr("Phone photo from guest %1 taken in for \"%2\" as \"%3\".")
                   .arg(phones::guestTag(token), songName(track), oneLineText(name)));
    answer(200, PhoneRouter::message(true, say(language, QT_TR_NOOP("Your photo is with your song."))));
}
