// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/MprisRootAdaptor.h"

#include "base/appidentity.h"

#include <utility>

MprisRootAdaptor::MprisRootAdaptor(QObject* exported, std::function<void()> raise)
    : QDBusAbstractAdaptor(exported), raiseWindow(std::move(raise))
{}

QString MprisRootAdaptor::identity() const
{
    return QStringLiteral("Vimo");
}

QString MprisRootAdaptor::desktopEntry() const
{
    return desktopEntryName();
}

void MprisRootAdaptor::Raise()
{
    raiseWindow();
}
