#include "folderscan.h"

#include "tags.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <dirent.h>

namespace {

const char* const cannotBeRead = QT_TRANSLATE_NOOP("QWidget", "the file cannot be read.");

// Qt's directory listing passes over every name that the local encoding cannot give back (bytes that
// are no UTF-8, say): such songs cannot be opened by name, but the log should tell they were left out.
void logUnnameableSongs(const QDir& directory)
{
    DIR* listing = opendir(QFile::encodeName(directory.absolutePath()).constData());
    if (!listing)
        return;
    while (const dirent* entry = readdir(listing)) {
        const QByteArray name(entry->d_name);
        if ((entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN) && name.toLower().endsWith(".mp3") &&
            QFile::encodeName(QFile::decodeName(name)) != name)
            logRefusedFile(directory.absoluteFilePath(QFile::decodeName(name)), cannotBeRead);
    }
    closedir(listing);
}

} // namespace

void scanFolder(const QFileInfo& folder, QStringList& paths)
{
    const QDir directory(folder.absoluteFilePath());
    const QFileInfoList files = directory.entryInfoList(
        QStringList{QStringLiteral("*.mp3")}, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::NoSort);
    for (const QFileInfo& file : files) {
        // A file this process may not read is left out with a line in the log.
        if (file.isReadable())
            paths << file.absoluteFilePath();
        else
            logRefusedFile(file.absoluteFilePath(), cannotBeRead);
    }
    logUnnameableSongs(directory);
    const QFileInfoList folders = directory.entryInfoList(
        QDir::Dirs | QDir::Hidden | QDir::Readable | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& subfolder : folders) {
        if (subfolder.absoluteFilePath() != directory.absolutePath())
            scanFolder(subfolder, paths);
    }
}
