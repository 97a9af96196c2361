// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/MprisService.h"

#include "desktop/MprisPlayerAdaptor.h"
#include "desktop/MprisRootAdaptor.h"
#include "desktop/NowPlaying.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>

const QString MprisService::serviceName = QStringLiteral("org.mpris.MediaPlayer2.vimo");
const QString MprisService::objectPath = QStringLiteral("/org/mpris/MediaPlayer2");

MprisService::MprisService(NowPlaying* nowPlaying, QObject* parent)
    : QObject(parent), playing(nowPlaying),
      root(new MprisRootAdaptor(&exported, [this]() { emit raiseRequested(); })),
      player(new MprisPlayerAdaptor(&exported, nowPlaying))
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!bus.registerObject(objectPath, &exported))
        return;
    registered = bus.registerService(serviceName);
    if (!registered) {
        bus.unregisterObject(objectPath);
        return;
    }
    // Watchers of the bus learn of a change from the signal alone; they do not poll.
    connect(playing, &NowPlaying::statusChanged, this, [this]() {
        announce({{QStringLiteral("PlaybackStatus"), player->playbackStatus()},
                  {QStringLiteral("CanPlay"), player->canPlay()},
                  {QStringLiteral("CanPause"), player->canPause()},
                  {QStringLiteral("Metadata"), player->metadata()}});
    });
    connect(playing, &NowPlaying::volumeChanged, this, [this]() {
        announce({{QStringLiteral("Volume"), player->volume()}});
    });
    connect(playing, &NowPlaying::songChanged, this, [this]() {
        announce({{QStringLiteral("Metadata"), player->metadata()}});
    });
}

MprisService::~MprisService()
{
    if (!registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(serviceName);
    bus.unregisterObject(objectPath);
}

void MprisService::announce(const QVariantMap& changed)
{
    QDBusMessage signal = QDBusMessage::createSignal(
        objectPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}
