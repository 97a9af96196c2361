// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/wholefile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include <cerrno>
#include <cstring>

namespace {
struct WholeFileText
{
    Q_DECLARE_TR_FUNCTIONS(WholeFile)
};

// Qt leaves the reason of a write cut short unsaid ("Unknown error"): the system's reason is told instead,
// or at least how far the write came.
QString writeFailure(qint64 written, qint64 size, int cause)
{
    if (cause != 0)
        return QString::fromLocal8Bit(std::strerror(cause));
    return WholeFileText::tr("only %1 of %2 bytes were written").arg(qMax<qint64>(written, 0)).arg(size);
}
} // namespace

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        // A folder deleted during the party is made again, as the log's is.
        const QString folder = QFileInfo(path).absolutePath();
        if (QFileInfo::exists(folder) || !QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly)) {
            if (error)
                *error = file.errorString();
            return false;
        }
    }
    // Qt 5's QSaveFile::commit() forgets a write error of the bytes it still held when it flushes them
    // itself, and renames a cut-off file over the old one; flushing first catches that error. An
    // uncommitted QSaveFile removes what it wrote.
    errno = 0;
    const qint64 written = file.write(bytes);
    const bool flushed = written == bytes.size() && file.flush();
    const int cause = errno;
    if (!flushed) {
        if (error)
            *error = writeFailure(written, bytes.size(), cause);
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
