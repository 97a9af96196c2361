// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/accessibility.h"

#include <QCoreApplication>

QString songCellDescription(bool played, bool playing, int waitingPosition)
{
    if (played)
        return QCoreApplication::translate("SongCell", "played");
    if (playing)
        return QCoreApplication::translate("SongCell", "playing");
    if (waitingPosition > 0)
        return QCoreApplication::translate("SongCell", "waiting at position %1").arg(waitingPosition);
    return QCoreApplication::translate("SongCell", "free to wish");
}
