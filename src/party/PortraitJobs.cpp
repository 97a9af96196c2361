// SPDX-License-Identifier: GPL-3.0-or-later
#include "party/PortraitJobs.h"

#include "base/runlog.h"
#include "base/settings.h"
#include "camera/Snapshot.h"
#include "library/Track.h"
#include "party/PartyAlbum.h"
#include "party/PlayQueue.h"

#include <QDateTime>
#include <QDir>
#include <QSettings>

PortraitJobs::PortraitJobs() = default;

PortraitJobs::~PortraitJobs()
{
    partyAlbum.reset();
    webcam.reset();
}

QSize PortraitJobs::openWebcam(QSettings* settings, bool wanted, bool modeWantsCamera)
{
    int deviceId = 0;
    int width = 1280;
    int height = 1024;
    int quality = 95;
    if (settings) {
        settings->beginGroup(QStringLiteral("Webcam"));
        deviceId = readIntOrWriteDefault(*settings, QStringLiteral("DirectX Device ID"), deviceId);
        width = readIntOrWriteDefault(*settings, QStringLiteral("Width"), width);
        height = readIntOrWriteDefault(*settings, QStringLiteral("Height"), height);
        settings->endGroup();
        settings->sync();
        quality = 100;
    }
    // A mode without photos and film has no webcam to miss: its log says nothing of one.
    if (!modeWantsCamera)
        return QSize(width, height);
    webcam = opencv::webcamForRun(
        wanted ? std::make_unique<opencv::Snapshot>(deviceId, width, height, quality) : nullptr,
        portraitDirectory);
    if (webcam && !portraitDirectory.isEmpty())
        openAlbum();
    return QSize(width, height);
}

void PortraitJobs::openAlbum()
{
    partyAlbum = std::make_unique<PartyAlbum>(runFolder(), portraitDirectory);
    partyAlbum->update();
}

bool PortraitJobs::startSnapshotJob(bool showComment, const QString& folder, const QString& fileName,
                                    const PlayQueue* queue)
{
    const bool wished = opencv::startSnapshotJob(webcam.get(), snapshotFuture, showComment, folder, fileName);
    if (partyAlbum && !fileName.isEmpty()) {
        const Track* song = queue && !queue->queuedSongs().isEmpty() ? queue->queuedSongs().last() : nullptr;
        AlbumEntry portrait;
        portrait.fileName = fileName;
        portrait.takenAt = QDateTime::currentDateTime();
        portrait.counter = queue ? queue->photoCount() : 0;
        portrait.random = !showComment;
        if (song && song->photoFileName() == fileName) {
            portrait.artist = song->artist();
            portrait.title = song->title();
        }
        partyAlbum->portraitStarted(portrait, snapshotFuture);
    }
    return wished;
}

void PortraitJobs::phonePortraitStored(const Track& track, const QString& fileName, int counter)
{
    phonePortraits = true;
    if (!partyAlbum)
        return;
    AlbumEntry portrait;
    portrait.fileName = fileName;
    portrait.takenAt = QDateTime::currentDateTime();
    portrait.counter = counter;
    portrait.artist = track.artist();
    portrait.title = track.title();
    partyAlbum->portraitNamed(portrait);
    partyAlbum->update();
}

QString PortraitJobs::folderForPhones()
{
    if (portraitDirectory.isEmpty()) {
        const QString folder = outputSubfolder(QStringLiteral("DJ portraits"));
        if (folder.isEmpty())
            return QString();
        portraitDirectory = QDir::toNativeSeparators(folder);
    }
    if (!partyAlbum)
        openAlbum();
    return portraitDirectory;
}

void PortraitJobs::waitForSnapshot()
{
    snapshotFuture.waitForFinished();
}
