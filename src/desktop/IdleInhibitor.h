// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>

class QDBusConnection;
class QDBusMessage;
class QDBusPendingCallWatcher;

// Keeps the shared screen from blanking and the machine from sleeping while music plays: the desktop's
// screen saver through the session bus (org.freedesktop.ScreenSaver) and logind's "sleep" and "idle"
// inhibitor through the system bus. Both are asked for when playback starts and given back when it
// stops or pauses. Without a bus, or without the service, nothing happens. The calls never block the GUI
// thread: a reply that arrives after the music stopped is given back at once.
class IdleInhibitor : public QObject
{
    Q_OBJECT

public:
    explicit IdleInhibitor(QObject* parent = nullptr);
    ~IdleInhibitor() override;

    void setActive(bool active);
    bool isActive() const { return wanted; }
    // What is held right now (a reply may still be on its way).
    bool holdsScreenSaver() const { return screenSaverCookie != 0; }
    bool holdsLogind() const { return logindLock.isValid(); }

private:
    // Sends `call` when `bus` offers its service; `answered` takes the reply. False when nothing was sent.
    bool ask(const QDBusConnection& bus, const QDBusMessage& call,
             void (IdleInhibitor::*answered)(QDBusPendingCallWatcher*));
    void askScreenSaver();
    void askLogind();
    void releaseScreenSaver();
    void screenSaverAnswered(QDBusPendingCallWatcher* call);
    void logindAnswered(QDBusPendingCallWatcher* call);

    bool wanted = false;
    bool screenSaverAsked = false;
    bool logindAsked = false;
    uint screenSaverCookie = 0;
    QDBusUnixFileDescriptor logindLock;
};
