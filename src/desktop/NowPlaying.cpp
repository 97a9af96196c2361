// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/NowPlaying.h"

#include <QFileInfo>

NowPlaying::NowPlaying(QObject* parent) : QObject(parent) {}

void NowPlaying::update(Status status, const PlayingSong& song)
{
    // The portrait is written while the song plays: its arrival changes what the desktop is told.
    const bool portrait = hasPortraitFile(song.portraitPath);
    const bool songDiffers = song != currentSong || portrait != portraitSeen;
    const bool statusDiffers = status != currentStatus;
    // Whoever hears the first signal reads the whole new state: a song's start is never seen as a new
    // song of a stopped player (the media player interface would announce "no track" first).
    currentSong = song;
    portraitSeen = portrait;
    currentStatus = status;
    if (songDiffers)
        emit songChanged();
    if (statusDiffers)
        emit statusChanged(status);
}

bool NowPlaying::hasPortraitFile(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool NowPlaying::hasPortrait() const
{
    return hasPortraitFile(currentSong.portraitPath);
}

qint64 NowPlaying::positionMicroseconds() const
{
    return positionSource && currentStatus != Status::Stopped ? positionSource() : 0;
}

void NowPlaying::setVolume(int percent)
{
    currentVolume = percent;
    emit volumeChanged(percent);
}
