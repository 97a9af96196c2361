// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/platform.h"

#include "base/settings.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QSettings>
#include <QVariant>

bool requestKeepAwake()
{
    // The lock lives as long as this descriptor is open: for the rest of the process.
    static QDBusUnixFileDescriptor inhibitor;
    if (inhibitor.isValid())
        return true;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    QDBusInterface login(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                         QStringLiteral("org.freedesktop.login1.Manager"), bus);
    if (!login.isValid())
        return false;
    const QDBusReply<QDBusUnixFileDescriptor> reply =
        login.call(QStringLiteral("Inhibit"), QStringLiteral("sleep"), QStringLiteral("Vimo"),
                   QStringLiteral("A party is playing"), QStringLiteral("block"));
    if (!reply.isValid())
        return false;
    inhibitor = reply.value();
    return inhibitor.isValid();
}

bool useNativeFolderDialog(QSettings* settings)
{
    if (settings) {
        QVariant force(0);
        readSettingOrDefault(QStringLiteral("Force Qt dialog"), force);
        if (force.toInt() != 0)
            return false;
    }
    // Every desktop this program runs on offers a native folder dialog through Qt's platform theme.
    return true;
}
