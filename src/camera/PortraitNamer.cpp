// SPDX-License-Identifier: GPL-3.0-or-later
#include "camera/PortraitNamer.h"

#include "camera/Snapshot.h"
#include "camera/photonames.h"

#include <QDateTime>

QString PortraitNamer::nameWebcamPortrait(const QString& artist, const QString& title, bool random)
{
    return opencv::nameNextPortrait(webcam, photoCounter, artist, title, random);
}

QString PortraitNamer::nameGuestPortrait(const QString& artist, const QString& title)
{
    return portraitFileName(QDateTime::currentDateTime(), ++photoCounter, artist, title, false);
}
