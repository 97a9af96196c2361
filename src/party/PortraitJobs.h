// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFuture>
#include <QSize>
#include <QString>
#include <memory>

namespace opencv {
class Snapshot;
}
class PartyAlbum;
class PlayQueue;
class QSettings;
class Track;

// The run's portraits: the webcam and its snapshot job, the "DJ portraits" folder (made by the webcam, or
// for the phones' photos when there is none) and the party album that shows them.
class PortraitJobs
{
public:
    PortraitJobs();
    // The album goes before the webcam; the owner has waited for the last snapshot job.
    ~PortraitJobs();
    PortraitJobs(const PortraitJobs&) = delete;
    PortraitJobs& operator=(const PortraitJobs&) = delete;

    // Opens the webcam the settings group "Webcam" names when the host wants one; the photo size asked
    // for, which the phones' photos follow too. A webcam that was not `wanted` is logged as failed unless
    // the party mode wants no camera at all.
    QSize openWebcam(QSettings* settings, bool wanted, bool modeWantsCamera = true);
    opencv::Snapshot* camera() const { return webcam.get(); }
    QString folder() const { return portraitDirectory; }
    PartyAlbum* album() const { return partyAlbum.get(); }
    // The floater shows portraits: from the webcam, or from phones once one sent a photo.
    bool showsPortraits() const { return webcam != nullptr || phonePortraits; }
    bool snapshotRunning() const { return !snapshotFuture.isFinished(); }
    // Photographs the song the queue has just taken on, its last one. True for a wished song whose photo
    // is written: its comment may be asked for now.
    bool startSnapshotJob(bool showComment, const QString& folder, const QString& fileName,
                          const PlayQueue* queue);
    // A guest's photo has been stored as the song's portrait; `counter` is the run's photo number.
    void phonePortraitStored(const Track& track, const QString& fileName, int counter);
    // The portrait folder, made now when no webcam made it; "" when it cannot be made.
    QString folderForPhones();
    void waitForSnapshot();

private:
    void openAlbum();

    std::unique_ptr<opencv::Snapshot> webcam;
    QFuture<void> snapshotFuture;
    std::unique_ptr<PartyAlbum> partyAlbum;
    QString portraitDirectory;
    // Portraits come from phones too: the floater shows them even without a webcam.
    bool phonePortraits = false;
};
