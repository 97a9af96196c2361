// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThreadPool>

class QFileInfo;

// One portrait of the night as the album shows it.
struct AlbumEntry
{
    QString fileName; // the photo's name inside the portrait folder
    QDateTime takenAt;
    int counter = 0; // the run's photo number
    QString artist;
    QString title;
    bool random = false; // a random pick rather than a guest's wish
    bool photoExists = false;
    QString comment; // the guest's comment stored in the photo, "" when there is none
};

// The whole album page for `entries` in the given order; photos are linked below `photoFolder`, a folder
// relative to the page. Every text from a song or a guest is escaped.
QString partyAlbumHtml(const QList<AlbumEntry>& entries, const QString& photoFolder, const QString& heading);

// The party album of one run: "index.html" in the run folder shows every portrait of the night, newest
// first, with its time, artist, title and the guest's comment. It is rebuilt from the portrait folder
// after each photo and each comment, on a thread of its own, and replaced atomically so that a browser
// never reads half a page. Portraits that were named but never written (the frame grab failed, the file
// was deleted) still show their song.
class PartyAlbum
{
public:
    PartyAlbum(const QString& runFolder, const QString& portraitFolder);
    // Waits for the updates still queued.
    ~PartyAlbum();
    PartyAlbum(const PartyAlbum&) = delete;
    PartyAlbum& operator=(const PartyAlbum&) = delete;

    QString pagePath() const;

    // The queue named a portrait: what it knows of it (file name, time, counter, the song's exact artist
    // and title, the random mark) is what the album shows.
    void portraitNamed(const AlbumEntry& portrait);

    // Rebuilds the page on the album's thread once `photoJob` has finished. Updates run one after another,
    // each reading the folder afresh, so the last one shows the last change.
    QFuture<bool> update(const QFuture<void>& photoJob = QFuture<void>());

    // Names the portrait and updates the page when its snapshot job is done.
    QFuture<bool> portraitStarted(const AlbumEntry& portrait, const QFuture<void>& photoJob);

    // The portraits named so far, and every other photo in the folder once (shown by its file name and
    // time), newest first.
    QList<AlbumEntry> entries();

    // Writes the page now; false (and a log line) when it could not be written.
    bool rebuild();

private:
    // entries(), with the mutex held by the caller.
    QList<AlbumEntry> collectEntries();
    // The comment of a photo, read again only when the file changed since the last look.
    QString commentOf(const QFileInfo& photo);

    const QString runFolder;
    const QString portraitFolder;
    // Guards the named portraits and the comment cache, and keeps two rebuilds from interleaving.
    // Taken after every other lock of the program except the log's.
    QMutex mutex;
    QHash<QString, AlbumEntry> named;
    struct CachedComment
    {
        qint64 size = -1;
        QDateTime modified;
        QString comment;
    };
    QHash<QString, CachedComment> comments;
    QThreadPool worker;
};
