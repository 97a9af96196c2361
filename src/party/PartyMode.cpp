// SPDX-License-Identifier: GPL-3.0-or-later
#include "party/PartyMode.h"

#include "base/settings.h"

#include <QSettings>

namespace {
const QString group = QStringLiteral("Party");

int readPartyInt(QSettings& settings, const QString& key, int defaultValue)
{
    settings.beginGroup(group);
    const int value = readIntOrWriteDefault(settings, key, defaultValue);
    settings.endGroup();
    settings.sync();
    return value;
}
} // namespace

PartyMode::PartyMode(int index) : mode(index >= lowest && index <= highest ? index : standard) {}

PartyMode PartyMode::stored(QSettings& settings)
{
    return PartyMode(readPartyInt(settings, QStringLiteral("Mode"), standard));
}

void PartyMode::store(QSettings& settings) const
{
    settings.beginGroup(group);
    settings.setValue(QStringLiteral("Mode"), mode);
    settings.endGroup();
    settings.sync();
}

int PartyMode::stopMotionSeconds(QSettings& settings)
{
    return qMax(1, readPartyInt(settings, QStringLiteral("StopMotionSeconds"), 20));
}
