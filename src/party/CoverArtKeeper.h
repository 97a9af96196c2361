// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QTemporaryDir;
template <typename T> class QFutureWatcher;

// The covers of the songs about to play (the queue's and the one drawn to follow), read on the pool once
// each and kept only while the song is among them: the whole library's pictures would cost a night's
// memory for songs nobody sees. Lives on the GUI thread.
class CoverArtKeeper : public QObject
{
    Q_OBJECT

public:
    // Covers fit into this size: the phones' and the desktop's picture, and enough for the playing cell.
    static constexpr int coverPixels = 512;

    explicit CoverArtKeeper(QObject* parent = nullptr);
    ~CoverArtKeeper() override;
    CoverArtKeeper(const CoverArtKeeper&) = delete;
    CoverArtKeeper& operator=(const CoverArtKeeper&) = delete;

    // The songs (their paths) about to play now: their covers are read unless known, every other one is
    // forgotten, with its file.
    void follow(const QStringList& paths);
    // The song's cover; null while it is read, and when it has none.
    QImage cover(const QString& path) const;
    // Our own JPEG of the cover, made once (empty without a cover).
    QByteArray coverJpeg(const QString& path);
    // A file of that JPEG in the cache folder, written once while the song is kept ("" without a cover
    // or when it cannot be written). Removed when the song is forgotten, and with the keeper.
    QString coverFile(const QString& path);

    // How a cover is read; the tests give their own.
    std::function<QImage(const QString& path)> reader;

signals:
    // A cover has been read (its image may be null: the song has none).
    void coverRead(const QString& path);

private:
    struct Kept
    {
        QImage image;
        QByteArray jpeg;
        QString file;
        std::shared_ptr<QFutureWatcher<QImage>> reading;
    };
    void forget(const QString& path);

    QStringList wanted;
    QHash<QString, Kept> kept;
    std::unique_ptr<QTemporaryDir> folder;
    int filesWritten = 0;
};
