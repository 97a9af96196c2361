// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>

class NowPlaying;

// org.mpris.MediaPlayer2.Player over the party's playback. Play, Pause and PlayPause do what the Pause
// button does; the queue belongs to the guests, so there is no next, previous, seek or opening, and Stop
// answers that it is not supported. The volume is the host's (0.0 to 1.0 for 0 to 100 %); setting it is the
// window's to allow, which in kiosk mode refuses it.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)

public:
    MprisPlayerAdaptor(QObject* exported, NowPlaying* nowPlaying);

    QString playbackStatus() const;
    double rate() const { return 1.0; }
    void setRate(double) {}
    QVariantMap metadata() const;
    double volume() const;
    void setVolume(double volume);
    qlonglong position() const;
    bool canPlay() const;
    bool canPause() const;
    bool no() const { return false; }
    bool yes() const { return true; }

public slots:
    void Play();
    void Pause();
    void PlayPause();
    // A desktop's stop button must not silence the guests' music; the caller learns it had no effect.
    void Stop(const QDBusMessage& call);
    void Next() {}
    void Previous() {}
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath&, qlonglong) {}
    void OpenUri(const QString&) {}

signals:
    void Seeked(qlonglong position);

private:
    NowPlaying* playing = nullptr;
};
