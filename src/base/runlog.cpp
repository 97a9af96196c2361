// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/runlog.h"

#include "base/plainfile.h"
#include "base/recordtrouble.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTextStream>
#include <cstdio>

namespace {

QString& cachedRunFolder()
{
    static QString path;
    return path;
}

// Guards the log file's creation as well as every line, so the first line may come from any thread.
QMutex& logMutex()
{
    static QMutex mutex;
    return mutex;
}

QString& logPath()
{
    static QString path;
    return path;
}

QString folderMessage(const QString& path, bool created)
{
    return QStringLiteral("Directory \"") + QDir::toNativeSeparators(path) +
           (created ? QStringLiteral("\" was created.") : QStringLiteral("\" could not be created."));
}

// The log itself cannot take the line that says it was refused: that goes to standard error, once
// until the log takes a line again. Guarded by the log's mutex.
bool refusalReported = false;

void reportRefusedLog(const QString& path, const QString& reason)
{
    if (refusalReported)
        return;
    refusalReported = true;
    const QString line =
        QCoreApplication::translate("RunLog", "Vimo: the log file \"%1\" is not written: %2.")
            .arg(QDir::toNativeSeparators(path), reason);
    std::fputs(line.toLocal8Bit().append('\n').constData(), stderr);
}

// Appends `line` to the log at `path`, after the header when the file is new to this run: the first line
// of the process, or a file made afresh because the run folder was deleted during the party.
void appendLine(const QString& path, bool first, const QDateTime& now, const QString& line)
{
    QFile file;
    QString error;
    if (!openPlainFileForAppending(file, path, &error)) {
        reportRefusedLog(path, error);
        noteRecordWritten(RunRecord::Log, false, error);
        return;
    }
    refusalReported = false;
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    // A second run in the same minute shares the folder: its header goes below the first run's lines
    // instead of wiping them.
    if (first || file.size() == 0)
        stream << QStringLiteral("\nVimo log file\nCreated: ")
               << now.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")) << QStringLiteral("\n\n");
    stream << line;
    stream.flush();
    const bool written = file.flush();
    noteRecordWritten(RunRecord::Log, written, file.errorString());
}

} // namespace

QString runFolder()
{
    QString& path = cachedRunFolder();
    if (!path.isEmpty())
        return path;
    const QString root = QDir::toNativeSeparators(
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) + QStringLiteral("/Vimo output"));
    path = root + QLatin1Char('/') +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh-mm")) + QLatin1Char('/');
    const bool created = QDir().mkpath(path);
    logMessage(folderMessage(path, created), path);
    return path;
}

QString outputSubfolder(const QString& name)
{
    if (name.isEmpty())
        return QString();
    const QString path = runFolder() + name + QLatin1Char('/');
    const bool created = QDir().mkpath(path);
    logMessage(folderMessage(path, created));
    return created ? path : QString();
}

void logMessage(const QString& message, const QString& directory)
{
    QMutexLocker lock(&logMutex());
    // Read under the lock: the lines' times then never go backwards in the file, and the C library's
    // time zone state is never read by two threads at once.
    const QDateTime now = QDateTime::currentDateTime();
    QString& path = logPath();
    const bool first = path.isEmpty();
    if (first)
        path = directory + QStringLiteral("Vimo log file.txt");
    // Opened and closed for every line, so the log on disk is complete even if the process is killed.
    appendLine(path, first, now,
               now.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss\t::\t")) + message + QLatin1Char('\n'));
}

QString logFilePath()
{
    QMutexLocker lock(&logMutex());
    return logPath();
}
