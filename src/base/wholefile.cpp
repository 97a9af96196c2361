// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/wholefile.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    // Qt 5's QSaveFile::commit() forgets a write error of the bytes it still held when it flushes them
    // itself, and renames a cut-off file over the old one; flushing first catches that error. An
    // uncommitted QSaveFile removes what it wrote.
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() && file.commit();
    if (!written && error)
        *error = file.errorString();
    return written;
}
