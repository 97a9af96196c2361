// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/folderscan.h"

#include "base/plaintext.h"
#include "base/runlog.h"
#include "tags/songformat.h"
#include "tags/tags.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <atomic>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
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

// One folder's song files and subfolders, each in the file system's order.
struct FolderListing
{
    QStringList files;
    QFileInfoList folders;
    bool unreadable = false;
};

// The kind of a listed entry, asking the file system only when the listing does not tell; a link is
// neither file nor folder.
unsigned char entryType(int folder, const dirent& entry)
{
    if (entry.d_type != DT_UNKNOWN)
        return entry.d_type;
    struct stat status = {};
    if (::fstatat(folder, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return DT_UNKNOWN;
    return S_ISDIR(status.st_mode) ? DT_DIR : S_ISREG(status.st_mode) ? DT_REG : DT_UNKNOWN;
}

// One read of the folder's entries: a listing per kind or a name filter would read it again, and a look
// at each file costs a system call that a second add of a large collection cannot afford.
FolderListing listFolder(const QFileInfo& folder, bool checkReadable)
{
    FolderListing listing;
    QString prefix = folder.absoluteFilePath();
    DIR* directory = opendir(QFile::encodeName(prefix).constData());
    // Unlike an empty folder, one that cannot be listed is told.
    if (!directory) {
        listing.unreadable = true;
        return listing;
    }
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    while (const dirent* entry = readdir(directory)) {
        const QByteArray name = QByteArray::fromRawData(entry->d_name, int(qstrlen(entry->d_name)));
        if (name == "." || name == "..")
            continue;
        const unsigned char type = entryType(dirfd(directory), *entry);
        const QString fileName = QFile::decodeName(name);
        if (type == DT_DIR) {
            listing.folders << QFileInfo(prefix + fileName);
        } else if (type == DT_REG && hasSongSuffix(fileName)) {
            // A name the local encoding cannot give back (bytes that are no UTF-8, say) cannot be opened
            // by name, but the log should tell that the song was left out.
            if (QFile::encodeName(fileName) != name)
                logRefusedFile(prefix + fileName, cannotBeRead);
            else if (!checkReadable || readableOrLogged(prefix + fileName))
                listing.files << prefix + fileName;
        }
    }
    closedir(directory);
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
QVector<FolderListing> listFolders(const QFileInfoList& folders, const std::atomic<bool>& cancelled,
                                   bool checkReadable)
{
    QVector<FolderListing> listings(folders.size());
    std::atomic<int> next{0};
    const auto work = [&]() {
        for (int index = next++; index < folders.size() && !cancelled; index = next++)
            listings[index] = listFolder(folders.at(index), checkReadable);
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

bool readableOrLogged(const QString& path)
{
    // A file this process may not read is left out with a line in the log.
    if (::access(QFile::encodeName(path).constData(), R_OK) == 0)
        return true;
    logRefusedFile(path, cannotBeRead);
    return false;
}

void scanFolder(const QFileInfo& folder, QStringList& paths, FolderScan* scan, bool checkReadable)
{
    FolderScan unwatched;
    FolderScan& control = scan ? *scan : unwatched;
    // Listing a folder costs a system call per file; the folders of one level of the tree are listed in
    // parallel, so a large collection is found in a fraction of the time. The order is put together after.
    std::vector<ScannedFolder> scanned;
    QFileInfoList level{folder};
    while (!level.isEmpty() && !control.cancelled) {
        const QVector<FolderListing> listings = listFolders(level, control.cancelled, checkReadable);
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
