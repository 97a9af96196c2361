// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QFile;
class QString;

// The records of a run (photos, log, playlist) are written only into plain files of their own: whatever
// is planted at their names, a symbolic link or a FIFO, is never followed or waited for.

// Whether `path` itself, not what a link there points to, is a plain file.
bool isPlainFile(const QString& path);

// Why what sits at `path` may not be taken as a plain file of ours ("it is a symbolic link", ...); "" when
// it is a plain file or nothing is there yet. Looks without opening, so a FIFO is never waited for.
QString plainFileRefusal(const QString& path);

// Opens `file` on `path`, write-only for appending, creating the file, and its folder, when they are
// missing. A symbolic link, a FIFO, a device or a folder at the name is refused without blocking. On
// failure `error` (when given) receives the reason. The open `file` knows no file name.
bool openPlainFileForAppending(QFile& file, const QString& path, QString* error = nullptr);

// Whether the open `file` is still the file at `path`: false once it, or its folder, was deleted or
// replaced, when further lines would go into a file nobody can find.
bool stillAt(const QFile& file, const QString& path);
