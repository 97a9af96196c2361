#include "folderscan.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

void scanFolder(const QFileInfo& folder, QStringList& paths)
{
    const QDir directory(folder.absoluteFilePath());
    const QFileInfoList files =
        directory.entryInfoList(QStringList{QStringLiteral("*.mp3")},
                                QDir::Files | QDir::Hidden | QDir::Readable | QDir::NoSymLinks, QDir::NoSort);
    for (const QFileInfo& file : files)
        paths << file.absoluteFilePath();
    const QFileInfoList folders = directory.entryInfoList(
        QDir::Dirs | QDir::Hidden | QDir::Readable | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& subfolder : folders) {
        if (subfolder.absoluteFilePath() != directory.absolutePath())
            scanFolder(subfolder, paths);
    }
}
