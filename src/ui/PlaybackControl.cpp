// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PlaybackControl.h"

#include "desktop/DesktopLink.h"
#include "desktop/NoticeBoard.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/CoverArtKeeper.h"
#include "party/PlayQueue.h"
#include "party/PortraitJobs.h"
#include "party/wishing.h"
#include "phones/PhoneDesk.h"

#include <QAbstractButton>
#include <QDir>
#include <QMutexLocker>
#include <QTableWidgetItem>
#include <QTimer>
#include <utility>

PlaybackControl::PlaybackControl(PlayQueue* queue, QMutex& libraryMutex, QTimer& tick,
                                 QAbstractButton& pauseButton, DesktopLink& desktopLink,
                                 PlaybackWindow window)
    : playQueue(queue), mutex(libraryMutex), updateTimer(tick), pause(pauseButton), desktop(desktopLink),
      view(std::move(window))
{
    // A song that cannot be played leaves the queue; the guests see which one, and that it was skipped.
    if (playQueue)
        playQueue->unplayableHook = [this](const Track* track) {
            desktop.notices().post(NoticeBoard::unplayableNotice(track->artist(), track->title()));
        };
    // A cover read after its song started reaches the desktop and the phones at once.
    if (playQueue)
        QObject::connect(&playQueue->covers(), &CoverArtKeeper::coverRead, &updateTimer,
                         [this]() { publishPlayback(); });
}

void PlaybackControl::wishCell(const QTableWidgetItem* item)
{
    QMutexLocker lock(&mutex);
    TrackLibrary* library = view.library();
    if (!library || !playQueue || !item)
        return;
    wishSong(*playQueue, library, library->findBySearchKey(item->text().toLower()));
    publishPlayback();
}

bool PlaybackControl::songFinished()
{
    QMutexLocker lock(&mutex);
    TrackLibrary* library = view.library();
    if (!library || !playQueue)
        return false;
    bool allSelectableAgain = false;
    playQueue->songFinished(library, allSelectableAgain);
    if (allSelectableAgain)
        view.showAllGenresAgain();
    publishPlayback();
    return true;
}

void PlaybackControl::pauseOrPlayOn()
{
    if (playQueue && !playQueue->queuedSongs().isEmpty() && playQueue->queuedSongs().first()) {
        if (paused) {
            paused = false;
            playQueue->resumeHead();
            updateTimer.start(1000);
        } else {
            paused = true;
            playQueue->pauseHead();
            updateTimer.stop();
        }
        publishPlayback();
    }
    // The click has toggled the button's look already, also where there was nothing to pause.
    pause.setChecked(paused);
}

void PlaybackControl::skipSong()
{
    const Track* head = playQueue ? playQueue->queuedSongs().value(0) : nullptr;
    // The PIN prompt lets the queue move on: only the song the host meant is skipped.
    if (!head || !view.hostMayAct() || playQueue->queuedSongs().value(0) != head)
        return;
    QMutexLocker lock(&mutex);
    TrackLibrary* library = view.library();
    bool allSelectableAgain = false;
    if (!library || !playQueue->skipHead(library, allSelectableAgain))
        return;
    if (paused) {
        // The song that was paused is gone; the next one plays.
        paused = false;
        pause.setChecked(false);
        updateTimer.start(1000);
    }
    if (allSelectableAgain)
        view.showAllGenresAgain();
    publishPlayback();
}

void PlaybackControl::removeWish(int position)
{
    const Track* wish = playQueue ? playQueue->queuedSongs().value(position) : nullptr;
    if (position < 1 || !wish || !view.hostMayAct() || playQueue->queuedSongs().value(position) != wish)
        return;
    QMutexLocker lock(&mutex);
    playQueue->removeWaiting(position);
    publishPlayback();
}

void PlaybackControl::tickSecond()
{
    if (!playQueue)
        return;
    playQueue->tick();
    {
        QMutexLocker lock(&mutex);
        if (TrackLibrary* library = view.library())
            playQueue->retryWhenSilent(library);
    }
    // The portrait reaches the disk a moment after its song started.
    publishPlayback();
}

void PlaybackControl::publishPlayback()
{
    if (PhoneDesk* phones = view.phones())
        phones->publish();
    const Track* head =
        playQueue && !playQueue->queuedSongs().isEmpty() ? playQueue->queuedSongs().first() : nullptr;
    if (view.showHead)
        view.showHead(head, paused);
    if (!head || !head->playing()) {
        desktop.publish(NowPlaying::Status::Stopped, PlayingSong());
        return;
    }
    PlayingSong song;
    song.artist = head->artist();
    song.title = head->title();
    song.album = head->album();
    song.lengthMicroseconds = static_cast<qint64>(head->seconds() * 1e6);
    const QString portraitDirectory = view.portraitFolder();
    if (!portraitDirectory.isEmpty() && !head->photoFileName().isEmpty())
        song.portraitPath = QDir(portraitDirectory).filePath(head->photoFileName());
    song.coverPath = playQueue->covers().coverFile(head->filePath());
    song.number = playQueue->playlistLineCount();
    desktop.publish(paused ? NowPlaying::Status::Paused : NowPlaying::Status::Playing, song);
}

PhoneParty PlaybackControl::phoneParty(PortraitJobs& portraits, std::function<void(Track*)> portraitStored)
{
    PhoneParty party;
    party.library = [this]() { return view.library(); };
    party.queue = [this]() { return playQueue; };
    party.wish = [this](Track* track) {
        QMutexLocker lock(&mutex);
        TrackLibrary* library = view.library();
        if (!library || !playQueue)
            return WishRefusal::NoSong;
        return wishSong(*playQueue, library, track);
    };
    party.paused = [this]() { return paused; };
    party.coverJpeg = [this](const Track* track) {
        return playQueue ? playQueue->covers().coverJpeg(track->filePath()) : QByteArray();
    };
    party.namePortrait = [this](const Track* track) {
        return playQueue ? playQueue->nameGuestPortrait(track) : QString();
    };
    party.portraitFolder = [&portraits]() { return portraits.folderForPhones(); };
    party.portraitStored = [this, &portraits, stored = std::move(portraitStored)](Track* track,
                                                                                  const QString& fileName) {
        portraits.phonePortraitStored(*track, fileName, playQueue ? playQueue->photoCount() : 0);
        stored(track);
    };
    return party;
}
