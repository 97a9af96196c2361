// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/highdpi.h"

#include <QCoreApplication>

void enableHighDpiScaling()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    // Logos and photos are drawn from pixmaps at the screen's resolution, not blown up.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}
