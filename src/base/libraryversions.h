// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVector>

struct LibraryVersion
{
    QString name;
    QString version;
    QString site;
};

// The libraries this program links, each with the version it runs with (where a library cannot tell at
// run time, the version it was built against, which Debian's package dependencies pin).
QVector<LibraryVersion> linkedLibraries();
