// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/MprisRootAdaptor.h"

#include "base/appidentity.h"

MprisRootAdaptor::MprisRootAdaptor(QObject* exported) : QDBusAbstractAdaptor(exported) {}

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
    emit raiseRequested();
}
