// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/settings.h"

#include <QSettings>
#include <new>

namespace {
QSettings* store = nullptr;
}

QSettings* settingsStore()
{
    if (!store)
        store = new (std::nothrow) QSettings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
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
