#include "runlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTextStream>

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

bool appendText(const QString& path, const QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return false;
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    stream << text;
    stream.flush();
    return stream.status() == QTextStream::Ok;
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
    if (path.isEmpty()) {
        path = directory + QStringLiteral("Vimo log file.txt");
        // A second run in the same minute shares the folder: its header goes below the first run's
        // lines instead of wiping them.
        appendText(path, QStringLiteral("\nVimo log file\nCreated: ") +
                             now.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")) + QStringLiteral("\n\n"));
    }
    // Opened and closed for every line, so the log on disk is complete even if the process is killed.
    appendText(path, now.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss\t::\t")) + message + QLatin1Char('\n'));
}

QString logFilePath()
{
    QMutexLocker lock(&logMutex());
    return logPath();
}
