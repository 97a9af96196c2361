// SPDX-License-Identifier: GPL-3.0-or-later
#include "party/CoverArtKeeper.h"

#include "tags/coverart.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QImageWriter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtConcurrent>

CoverArtKeeper::CoverArtKeeper(QObject* parent)
    : QObject(parent),
      reader([](const QString& path) { return readCoverArt(path, QSize(coverPixels, coverPixels)).image; })
{}

CoverArtKeeper::~CoverArtKeeper() = default;

void CoverArtKeeper::follow(const QStringList& paths)
{
    if (paths == wanted)
        return;
    wanted = paths;
    const QStringList known = kept.keys();
    for (const QString& path : known)
        if (!wanted.contains(path))
            forget(path);
    for (const QString& path : qAsConst(wanted)) {
        if (path.isEmpty() || kept.contains(path))
            continue;
        Kept& entry = kept[path];
        // The watcher goes with the entry: a song that leaves before its cover is read drops the result.
        entry.reading = std::make_shared<QFutureWatcher<QImage>>();
        QFutureWatcher<QImage>* watcher = entry.reading.get();
        connect(watcher, &QFutureWatcherBase::finished, this, [this, path, watcher]() {
            auto found = kept.find(path);
            if (found == kept.end() || found->reading.get() != watcher)
                return;
            found->image = watcher->result();
            found->reading.reset();
            emit coverRead(path);
        });
        watcher->setFuture(QtConcurrent::run([read = reader, path]() { return read(path); }));
    }
}

void CoverArtKeeper::forget(const QString& path)
{
    auto found = kept.find(path);
    if (found == kept.end())
        return;
    if (!found->file.isEmpty())
        QFile::remove(found->file);
    // A read still running ends on the pool; its result finds no entry then.
    if (found->reading)
        found->reading->disconnect(this);
    kept.erase(found);
}

QImage CoverArtKeeper::cover(const QString& path) const
{
    return kept.value(path).image;
}

QByteArray CoverArtKeeper::coverJpeg(const QString& path)
{
    auto found = kept.find(path);
    if (found == kept.end() || found->image.isNull())
        return QByteArray();
    if (found->jpeg.isEmpty()) {
        // Our own encoding of the decoded picture: nothing of the song's file (its other bytes, a
        // picture's comments) goes out with it.
        QBuffer out(&found->jpeg);
        out.open(QIODevice::WriteOnly);
        QImageWriter writer(&out, "jpeg");
        writer.setQuality(88);
        if (!writer.write(found->image.convertToFormat(QImage::Format_RGB888)))
            found->jpeg.clear();
    }
    return found->jpeg;
}

QString CoverArtKeeper::coverFile(const QString& path)
{
    const QByteArray jpeg = coverJpeg(path);
    auto found = kept.find(path);
    if (jpeg.isEmpty() || found == kept.end())
        return QString();
    if (!found->file.isEmpty())
        return found->file;
    if (!folder) {
        // The program's cache folder, where the song cache lives too; the run's own folder beneath it
        // goes with the keeper at exit.
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                              QStringLiteral("/Talvoren/Vimo");
        QDir().mkpath(cache);
        folder = std::make_unique<QTemporaryDir>(cache + QStringLiteral("/covers-XXXXXX"));
    }
    if (!folder->isValid())
        return QString();
    // A new name for every song: a desktop that keeps the picture of the last address would otherwise
    // show the previous song's cover.
    const QString file = folder->filePath(QStringLiteral("cover-%1.jpg").arg(++filesWritten));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(jpeg) != jpeg.size() || !out.flush()) {
        out.remove();
        return QString();
    }
    found->file = file;
    return file;
}
