// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QFileInfo;
class QStringList;

// Appends the absolute paths of every "*.mp3" file (any letter case) below `folder`: the folder's own files
// first, then each subfolder's, depth first, in the file system's order. Hidden files and folders count;
// symbolic links are neither followed nor added. A file that cannot be read is logged and left out.
void scanFolder(const QFileInfo& folder, QStringList& paths);
