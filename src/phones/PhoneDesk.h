// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "party/wishing.h"
#include "phones/PhoneServer.h"
#include "phones/PhotoTickets.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class PlayQueue;
class QSettings;
class Track;
class TrackLibrary;

// What the phones' desk needs of the party, all on the GUI thread.
struct PhoneParty
{
    std::function<TrackLibrary*()> library;
    std::function<PlayQueue*()> queue;
    // The window's one wish path; the song's grid cell is found there.
    std::function<WishRefusal(Track*)> wish;
    std::function<bool()> paused;
    // Names the song's next portrait as the webcam would ("" when none can be named) and the folder it
    // goes to, with its separator ("" when there is none).
    std::function<QString(const Track*)> namePortrait;
    std::function<QString()> portraitFolder;
    // A guest's photo (and comment) has been stored as the song's portrait.
    std::function<void(Track*, const QString& fileName)> portraitStored;
    QSize photoSize{1280, 1024};
    // The song's cover as our own JPEG (empty while it has none).
    std::function<QByteArray(const Track*)> coverJpeg;
};

// The GUI thread's side of phone wishes: reads the settings group "Phones", starts and stops the server
// and logs it, publishes what the server may show (the songs, their states, the queue) as snapshots, and
// carries the phones' wishes and photos to the party, with each phone's share of the queue.
class PhoneDesk : public QObject, private PhoneBackend
{
    Q_OBJECT

public:
    PhoneDesk(QSettings* settings, PhoneParty party, const PhoneLimits& limits = PhoneLimits(),
              QObject* parent = nullptr);
    ~PhoneDesk() override;

    // On or off as the host wants, remembered in the settings ("Enabled").
    void setEnabled(bool on);
    // Off as well when they could not start for a PIN that cannot be used, so the panel's reason goes.
    void toggle() { setEnabled(!isRunning() && problemText.isEmpty()); }
    bool isRunning() const;
    // "http://<address>:<port>/" while running, else "".
    QString address() const { return url; }
    QString pin() const { return pinText; }
    // Why the phones cannot be switched on ("" when they can).
    QString problem() const { return problemText; }
    quint16 port() const;

    // The queue or the library may have changed: a new snapshot goes out when anything the phones see did.
    void publish(bool force = false);

signals:
    // Running or not, and the address to show.
    void stateChanged(bool running, const QString& address);

private:
    void wish(const QByteArray& token, const QByteArray& address, int songId, Answer answer) override;
    bool holdsTicket(const QByteArray& token, const QByteArray& ticket) const override;
    void photo(const QByteArray& token, const QByteArray& ticket, const QByteArray& photo,
               const QString& comment, Answer answer) override;
    void answerWish(const QByteArray& token, const QByteArray& address, int songId, const Answer& answer);
    void storePhoto(const QByteArray& token, const QByteArray& ticket, const QByteArray& jpeg,
                    const QString& refusal, const QString& comment, const Answer& answer);
    void readSettings();
    bool start();
    void stop();
    void refreshLibrary(TrackLibrary* library);
    QByteArray queueJson(PlayQueue* queue, bool withTime) const;
    // A refusal in a phone's language ("" the host's).
    QString refusalText(WishRefusal refusal, const QString& language) const;
    QString say(const QString& language, const char* source) const;
    static QString songName(const Track* track);
    void logWish(const QByteArray& token, const Track* track, const QString& outcome);
    static int waitingWishesOf(QHash<QByteArray, QList<Track*>>& wishes, const QByteArray& key);
    QString lanAddress() const;

    QSettings* settings = nullptr;
    PhoneParty party;
    PhoneRouter router;
    PhoneServer server;
    QString url;
    QString pinText;
    QString problemText;
    int wishesPerGuest = 2;
    int preferredPort = 8080;
    // Songs by id, as the phones know them; ids stay for the whole run.
    std::vector<Track*> songs;
    // Their keys folded for the search, once each: folding at every query would cost the phones' search
    // its time.
    std::vector<QString> foldedKeys;
    QHash<QString, int> idByKey;
    std::shared_ptr<const PhoneLibrary> library;
    QStringList chips;
    quint64 version = 0;
    QByteArray lastQueueJson;
    qint64 lastPublishMs = 0;
    // Each phone's and each address's wishes that may still wait: a fresh token from the same address
    // does not bring a fresh share.
    QHash<QByteArray, QList<Track*>> wishesByPhone;
    QHash<QByteArray, QList<Track*>> wishesByAddress;
    PhotoTickets tickets;
    QTimer publishTimer;
    QTimer pingTimer;
    // Decodes the phones' photos one at a time, off the GUI thread.
    QThreadPool intake;
};
