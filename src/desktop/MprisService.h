// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class MprisPlayerAdaptor;
class MprisRootAdaptor;
class NowPlaying;

// Shows the party to the desktop as the media player org.mpris.MediaPlayer2.vimo on the session bus, so
// media keys, the desktop's media widget and its phone remotes see and pause what plays. Without a
// session bus, or with the name taken, it stays silent.
class MprisService : public QObject
{
    Q_OBJECT

public:
    static const QString serviceName;
    static const QString objectPath;

    explicit MprisService(NowPlaying* playing, QObject* parent = nullptr);
    ~MprisService() override;

    bool isRegistered() const { return registered; }

signals:
    // The desktop wants the party's window in front.
    void raiseRequested();

private:
    void announce(const QVariantMap& changed);

    NowPlaying* playing = nullptr;
    QObject exported;
    MprisRootAdaptor* root = nullptr;
    MprisPlayerAdaptor* player = nullptr;
    bool registered = false;
};
