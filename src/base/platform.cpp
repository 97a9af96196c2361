// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/platform.h"

#include "base/settings.h"

#include <QSettings>
#include <QVariant>

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
