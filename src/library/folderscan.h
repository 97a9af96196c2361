// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include <atomic>

class QFileInfo;

// One scan's controls and what it could not read: the folder scan reports there, and may be told to stop.
struct FolderScan
{
    // Set from any thread: the scan stops at the next folder, and what it found so far is all it finds.
    std::atomic<bool> cancelled{false};
    // Every folder below the scanned one that could not be listed (each also logged), in no set order.
    QStringList unreadableFolders;
};

// Whether this process may read the file; when not, the log says that it was left out.
bool readableOrLogged(const QString& path);

// Appends the absolute paths of every song file (each ending of songFileSuffixes(), any letter case) below
// `folder`: the folder's own files
// first, then each subfolder's, depth first, in the file system's order. Hidden files and folders count;
// symbolic links are neither followed nor added. A file or folder that cannot be read is logged and left
// out; `scan`, when given, collects such folders and stops the scan when it is cancelled. Without
// `checkReadable` the files are not checked with readableOrLogged(), which the caller then asks itself of
// those it does not know to be readable.
void scanFolder(const QFileInfo& folder, QStringList& paths, FolderScan* scan = nullptr,
                bool checkReadable = true);
