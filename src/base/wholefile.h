// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QByteArray;
class QString;

// Replaces the file `path` with `bytes`, whole or not at all: they are written beside it and renamed
// over it only once every byte is on disk, so a full disk or a failed write leaves the old file (or none)
// and no other file behind. On failure `error` (when given) receives the reason.
bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);
