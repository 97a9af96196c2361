// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/IdleInhibitor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {
const QString screenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString screenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString logindService = QStringLiteral("org.freedesktop.login1");
const QString application = QStringLiteral("Vimo");
const QString reason = QStringLiteral("A song is playing");

// A bus that is there and has the service; asking one that is not would only collect errors.
bool offers(const QDBusConnection& bus, const QString& service)
{
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(service).value();
}
} // namespace

IdleInhibitor::IdleInhibitor(QObject* parent) : QObject(parent) {}

IdleInhibitor::~IdleInhibitor()
{
    wanted = false;
    releaseScreenSaver();
}

void IdleInhibitor::setActive(bool active)
{
    if (active == wanted)
        return;
    wanted = active;
    if (active) {
        askScreenSaver();
        askLogind();
    } else {
        releaseScreenSaver();
        // logind lets go when the last copy of the descriptor is closed.
        logindLock = QDBusUnixFileDescriptor();
    }
}

bool IdleInhibitor::ask(const QDBusConnection& bus, const QDBusMessage& call,
                        void (IdleInhibitor::*answered)(QDBusPendingCallWatcher*))
{
    if (!offers(bus, call.service()))
        return false;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, answered);
    return true;
}

void IdleInhibitor::askScreenSaver()
{
    if (screenSaverAsked || screenSaverCookie != 0)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(screenSaverService, screenSaverPath,
                                                       screenSaverService, QStringLiteral("Inhibit"));
    call << application << reason;
    screenSaverAsked = ask(QDBusConnection::sessionBus(), call, &IdleInhibitor::screenSaverAnswered);
}

void IdleInhibitor::screenSaverAnswered(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    screenSaverAsked = false;
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError())
        return;
    screenSaverCookie = reply.value();
    if (!wanted)
        releaseScreenSaver();
}

void IdleInhibitor::releaseScreenSaver()
{
    if (screenSaverCookie == 0)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(screenSaverService, screenSaverPath,
                                                       screenSaverService, QStringLiteral("UnInhibit"));
    call << screenSaverCookie;
    screenSaverCookie = 0;
    QDBusConnection::sessionBus().asyncCall(call);
}

void IdleInhibitor::askLogind()
{
    if (logindAsked || logindLock.isValid())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        logindService, QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    // Sleep too: a party machine left alone would otherwise suspend in the middle of a song. Paused, it may.
    call << QStringLiteral("sleep:idle") << application << reason << QStringLiteral("block");
    logindAsked = ask(QDBusConnection::systemBus(), call, &IdleInhibitor::logindAnswered);
}

void IdleInhibitor::logindAnswered(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    logindAsked = false;
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
    if (reply.isError() || !wanted)
        return;
    logindLock = reply.value();
}
