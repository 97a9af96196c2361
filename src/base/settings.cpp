// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/settings.h"

#include "base/plainfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <cstdio>
#include <new>

namespace {
QSettings* store = nullptr;

// Where QSettings keeps the native store of organisation "Talvoren", application "Vimo" for the user.
QString nativeSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Talvoren/Vimo.conf");
}

// QSettings would wait for a writer at a FIFO and write through a link into its target: whatever is not a
// plain file at the settings' name is left alone, and the run keeps its settings in memory only.
QSettings* openSettings()
{
    const QString path = nativeSettingsPath();
    const QString refusal = plainFileRefusal(path);
    if (refusal.isEmpty())
        return new (std::nothrow) QSettings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
    const QString line = QCoreApplication::translate(
                             "Settings", "Vimo: the settings file \"%1\" is not used: %2. The defaults apply "
                                         "and no setting is saved.")
                             .arg(QDir::toNativeSeparators(path), refusal);
    std::fputs(line.toLocal8Bit().append('\n').constData(), stderr);
    // A file below a device can neither be read nor made: every write fails, every value set stays in
    // memory, and not even a lock file is made anywhere.
    return new (std::nothrow) QSettings(QStringLiteral("/dev/null/Vimo.conf"), QSettings::IniFormat);
}
} // namespace

QSettings* settingsStore()
{
    if (!store)
        store = openSettings();
    return store;
}

void releaseSettingsStore(QSettings* settings)
{
    if (settings == store)
        store = nullptr;
    delete settings;
}

void readSettingOrDefault(const QString& key, QVariant& value)
{
    QSettings* settings = settingsStore();
    if (!settings)
        return;
    if (settings->contains(key))
        value = settings->value(key);
    else
        settings->setValue(key, value);
}

int readIntOrWriteDefault(QSettings& group, const QString& key, int defaultValue)
{
    if (group.contains(key))
        return group.value(key).toInt();
    group.setValue(key, defaultValue);
    return defaultValue;
}
