// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <functional>

// The song the party hears, as the desktop sees it: what plays, whether it plays, and how far it is.
struct PlayingSong
{
    QString artist;
    QString title;
    QString album;
    qint64 lengthMicroseconds = 0;
    // The song's portrait; it may still be on its way to the disk.
    QString portraitPath;
    // The song's cover in the cache folder, for the desktop where no portrait is there ("" without).
    QString coverPath;
    // Counts the songs started in this run, so that one song played twice is two tracks to the desktop.
    int number = 0;

    bool operator==(const PlayingSong& other) const
    {
        return artist == other.artist && title == other.title && album == other.album &&
               lengthMicroseconds == other.lengthMicroseconds && portraitPath == other.portraitPath &&
               coverPath == other.coverPath && number == other.number;
    }
    bool operator!=(const PlayingSong& other) const { return !(*this == other); }
};

// The playback state that the window publishes and the desktop bridges (idle inhibition, media player
// interface) follow. Lives on the GUI thread; it knows nothing of widgets, and the bridges never reach
// back into the window except through requestPauseToggle().
class NowPlaying : public QObject
{
    Q_OBJECT

public:
    enum class Status { Stopped, Playing, Paused };

    explicit NowPlaying(QObject* parent = nullptr);

    // Takes the window's view of the playback; signals only what changed.
    void update(Status status, const PlayingSong& song);
    Status status() const { return currentStatus; }
    const PlayingSong& song() const { return currentSong; }
    // Whether the portrait of the playing song is on the disk yet.
    bool hasPortrait() const;

    // How far the playing song is, in microseconds (0 without a source).
    qint64 positionMicroseconds() const;
    void setPositionSource(std::function<qint64()> source) { positionSource = std::move(source); }

    // The desktop asks for what the Pause button does.
    void requestPauseToggle() { emit pauseToggleRequested(); }

    // The host's volume, 0 to 100; the window sets it, the desktop may ask for another.
    int volume() const { return currentVolume; }
    // Signals the new volume; also an unchanged one, so that a desktop refused its wish hears it back.
    void setVolume(int percent);
    void requestVolume(int percent) { emit volumeRequested(percent); }

    static bool hasPortraitFile(const QString& path);

signals:
    void statusChanged(NowPlaying::Status status);
    void songChanged();
    void pauseToggleRequested();
    void volumeChanged(int percent);
    void volumeRequested(int percent);

private:
    Status currentStatus = Status::Stopped;
    PlayingSong currentSong;
    bool portraitSeen = false;
    int currentVolume = 100;
    std::function<qint64()> positionSource;
};
