// SPDX-License-Identifier: GPL-3.0-or-later
#include "party/volumesetting.h"

#include "base/runlog.h"

#include <QCoreApplication>
#include <QSettings>
#include <algorithm>

namespace {
const QString key = QStringLiteral("Audio/Volume");
} // namespace

int volumesetting::read(QSettings* settings)
{
    if (!settings)
        return loudest;
    if (!settings->contains(key)) {
        store(settings, loudest);
        return loudest;
    }
    const QString stored = settings->value(key).toString();
    bool number = false;
    const int percent = stored.trimmed().toInt(&number);
    const int volume = number ? std::clamp(percent, 0, loudest) : loudest;
    if (!number || volume != percent)
        logMessage(QCoreApplication::translate("VolumeSetting",
                                               "The stored volume \"%1\" is not 0 to 100; playing at %2 %.")
                       .arg(stored)
                       .arg(volume));
    return volume;
}

void volumesetting::store(QSettings* settings, int percent)
{
    if (!settings)
        return;
    settings->setValue(key, std::clamp(percent, 0, loudest));
    settings->sync();
}
