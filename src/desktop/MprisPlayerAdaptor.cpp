// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/MprisPlayerAdaptor.h"

#include "desktop/NowPlaying.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <cmath>

MprisPlayerAdaptor::MprisPlayerAdaptor(QObject* exported, NowPlaying* nowPlaying)
    : QDBusAbstractAdaptor(exported), playing(nowPlaying)
{}

QString MprisPlayerAdaptor::playbackStatus() const
{
    switch (playing->status()) {
    case NowPlaying::Status::Playing:
        return QStringLiteral("Playing");
    case NowPlaying::Status::Paused:
        return QStringLiteral("Paused");
    case NowPlaying::Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    QVariantMap data;
    if (playing->status() == NowPlaying::Status::Stopped) {
        data.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(QStringLiteral(
                                                         "/org/mpris/MediaPlayer2/TrackList/NoTrack"))));
        return data;
    }
    const PlayingSong& song = playing->song();
    data.insert(QStringLiteral("mpris:trackid"),
                QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/vimo/track/") +
                                                    QString::number(song.number))));
    data.insert(QStringLiteral("xesam:artist"), QStringList{song.artist});
    data.insert(QStringLiteral("xesam:title"), song.title);
    data.insert(QStringLiteral("xesam:album"), song.album);
    data.insert(QStringLiteral("mpris:length"), song.lengthMicroseconds);
    if (playing->hasPortrait())
        data.insert(QStringLiteral("mpris:artUrl"), QUrl::fromLocalFile(song.portraitPath).toString());
    else if (!song.coverPath.isEmpty())
        data.insert(QStringLiteral("mpris:artUrl"), QUrl::fromLocalFile(song.coverPath).toString());
    return data;
}

double MprisPlayerAdaptor::volume() const
{
    return playing->volume() / 100.0;
}

void MprisPlayerAdaptor::setVolume(double volume)
{
    // Not a number is no volume; the interface treats a negative one as 0.
    if (std::isnan(volume))
        return;
    playing->requestVolume(int(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
}

qlonglong MprisPlayerAdaptor::position() const
{
    return playing->positionMicroseconds();
}

bool MprisPlayerAdaptor::canPlay() const
{
    return playing->status() != NowPlaying::Status::Stopped;
}

bool MprisPlayerAdaptor::canPause() const
{
    return playing->status() != NowPlaying::Status::Stopped;
}

void MprisPlayerAdaptor::Play()
{
    if (playing->status() == NowPlaying::Status::Paused)
        playing->requestPauseToggle();
}

void MprisPlayerAdaptor::Pause()
{
    if (playing->status() == NowPlaying::Status::Playing)
        playing->requestPauseToggle();
}

void MprisPlayerAdaptor::PlayPause()
{
    if (playing->status() != NowPlaying::Status::Stopped)
        playing->requestPauseToggle();
}

void MprisPlayerAdaptor::Stop(const QDBusMessage& call)
{
    call.setDelayedReply(true);
    QDBusConnection::sessionBus().send(call.createErrorReply(
        QDBusError::NotSupported, QStringLiteral("The party's music stops only at its end")));
}
