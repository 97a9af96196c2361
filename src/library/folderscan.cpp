// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/folderscan.h"

#include "base/plaintext.h"
#include "base/runlog.h"
#include "tags/songformat.h"
#include "tags/tags.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <atomic>
#include <dirent.h>
#include <memory>
#include <vector>

namespace {

const char* const cannotBeRead = QT_TRANSLATE_NOOP("QWidget", "the file cannot be read.");

void logUnreadableFolder(const QString& path)
{
    // A line break in a folder's name would otherwise forge a log line of its own.
    logMessage(
        QCoreApplication::translate("QWidget", "This folder cannot be read; its songs are not added:") +
        QLatin1Char(' ') + oneLineText(path));
}

// Qt's directory listing passes over every name that the local encoding cannot give back (bytes that
// are no UTF-8, say): such songs cannot be opened by name, but the log should tell they were left out.
// False when the folder cannot be listed at all, which Qt's listing does not tell from an empty folder.
bool logUnnameableSongs(const QDir& directory)
{
    DIR* listing = opendir(QFile::encodeName(directory.absolutePath()).constData());
    if (!listing)
        return false;
    while (const dirent* entry = readdir(listing)) {
        const QByteArray name(entry->d_name);
        if ((entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN) &&
            QFile::encodeName(QFile::decodeName(name)) != name && hasSongSuffix(QFile::decodeName(name)))
            logRefusedFile(directory.absoluteFilePath(QFile::decodeName(name)), cannotBeRead);
    }
    closedir(listing);
    return true;
}

// One folder's song files and subfolders, each in the file system's order.
struct FolderListing
{
    QStringList files;
    QFileInfoList folders;
    bool unreadable = false;
};

FolderListing listFolder(const QFileInfo& folder)
{
    const QDir directory(folder.absoluteFilePath());
    FolderListing listing;
    if (!logUnnameableSongs(directory)) {
        listing.unreadable = true;
        return listing;
    }
    static const QStringList songFilters = songFileNameFilters();
    const QFileInfoList files =
        directory.entryInfoList(songFilters, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::NoSort);
    listing.files.reserve(files.size());
    for (const QFileInfo& file : files) {
        // A file this process may not read is left out with a line in the log.
        if (file.isReadable())
            listing.files << file.absoluteFilePath();
        else
            logRefusedFile(file.absoluteFilePath(), cannotBeRead);
    }
    const QFileInfoList folders = directory.entryInfoList(
        QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& subfolder : folders) {
        if (subfolder.absoluteFilePath() != directory.absolutePath())
            listing.folders << subfolder;
    }
    return listing;
}

// A folder's listing and where its subfolders' listings begin; those of one folder lie side by side.
struct ScannedFolder
{
    FolderListing listing;
    size_t firstSubfolder = 0;
};

// Lists every folder of `folders`, on this thread and on one more for each further core; a thread of
// its own, not the global pool, which an adding or snapshot job may hold.
QVector<FolderListing> listFolders(const QFileInfoList& folders, const std::atomic<bool>& cancelled)
{
    QVector<FolderListing> listings(folders.size());
    std::atomic<int> next{0};
    const auto work = [&]() {
        for (int index = next++; index < folders.size() && !cancelled; index = next++)
            listings[index] = listFolder(folders.at(index));
    };
    std::vector<std::unique_ptr<QThread>> helpers;
    for (int i = 1; i < qMin(QThread::idealThreadCount(), folders.size()); ++i) {
        helpers.emplace_back(QThread::create(work));
        helpers.back()->start();
    }
    work();
    for (const std::unique_ptr<QThread>& helper : helpers)
        helper->wait();
    return listings;
}

void appendDepthFirst(const std::vector<ScannedFolder>& scanned, size_t index, QStringList& paths)
{
    const ScannedFolder& folder = scanned.at(index);
    paths += folder.listing.files;
    for (int i = 0; i < folder.listing.folders.size(); ++i)
        appendDepthFirst(scanned, folder.firstSubfolder + size_t(i), paths);
}

} // namespace

void scanFolder(const QFileInfo& folder, QStringList& paths, FolderScan* scan)
{
    FolderScan unwatched;
    FolderScan& control = scan ? *scan : unwatched;
    // Listing a folder costs a system call per file; the folders of one level of the tree are listed in
    // parallel, so a large collection is found in a fraction of the time. The order is put together after.
    std::vector<ScannedFolder> scanned;
    QFileInfoList level{folder};
    while (!level.isEmpty() && !control.cancelled) {
        const QVector<FolderListing> listings = listFolders(level, control.cancelled);
        size_t next = scanned.size() + size_t(listings.size());
        QFileInfoList nextLevel;
        for (int i = 0; i < listings.size(); ++i) {
            const FolderListing& listing = listings.at(i);
            scanned.push_back(ScannedFolder{listing, next});
            next += size_t(listing.folders.size());
            nextLevel += listing.folders;
            // Its songs would be missing without a word: it is named in the log and counted in the notice.
            if (listing.unreadable && !control.cancelled) {
                logUnreadableFolder(level.at(i).absoluteFilePath());
                control.unreadableFolders << level.at(i).absoluteFilePath();
            }
        }
        level = nextLevel;
    }
    if (!control.cancelled)
        appendDepthFirst(scanned, 0, paths);
}
