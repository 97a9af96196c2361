// SPDX-License-Identifier: GPL-3.0-or-later
#include "party/PlayQueue.h"

#include "audio/Foreigner.h"
#include "audio/LoudnessCache.h"
#include "audio/NextSongArmer.h"
#include "base/plaintext.h"
#include "base/runlog.h"
#include "library/SongCache.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/CoverArtKeeper.h"
#include "party/PlaylistFile.h"
#include "party/QueueDisplay.h"

#include <QCoreApplication>
#include <QDir>
#include <algorithm>
#include <sys/random.h>
#include <utility>

int randomIndexFromDraw(quint32 draw, int n)
{
    const auto index = static_cast<int>(static_cast<double>(draw) / 4294967295.0 * n);
    return index < n ? index : n - 1;
}

int randomIndex(int n)
{
    if (n <= 1)
        return 0;
    // The kernel's generator itself: Qt's system generator would fill a failed draw from a weak fallback
    // without telling, where a failed draw must give the first song.
    quint32 draw = 0;
    if (getrandom(&draw, sizeof draw, 0) != static_cast<ssize_t>(sizeof draw))
        return 0;
    return randomIndexFromDraw(draw, n);
}

PlayQueue::PlayQueue(std::unique_ptr<QueueDisplay> queueDisplay)
    : capacity(queueDisplay->places()),
      playlistFile(std::make_unique<PlaylistFile>(PlaylistFile::pathForRun())),
      queueTable(std::move(queueDisplay)), nextSong(std::make_unique<NextSongArmer>()),
      coverArt(std::make_unique<CoverArtKeeper>())
{
    // A cover read after its song started shows as soon as it is there.
    QObject::connect(coverArt.get(), &CoverArtKeeper::coverRead, coverArt.get(), [this](const QString& path) {
        if (busy && !songs.isEmpty() && songs.first()->filePath() == path)
            showSong(0);
    });
    // A song's loudness is kept in its row of the song cache: it is measured once in its life, not at every
    // party.
    nextSong->setLoudnessStore({&SongCache::storedLoudness, &SongCache::storeLoudness});
    // A measurement that was not ready when the next song was armed still reaches it before it starts; one
    // that comes after its song has started reaches it while it plays.
    nextSong->measured = [this](const QString& path) {
        if (armed && armed->filePath() == path)
            applyLoudness(armed);
        if (busy && !songs.isEmpty() && songs.first()->filePath() == path)
            applyLoudness(songs.first());
    };
}

PlayQueue::~PlayQueue() = default;

QString PlayQueue::playlistPath() const
{
    return playlistFile->path();
}

int PlayQueue::playlistLineCount() const
{
    return playlistFile->lineCount();
}

bool PlayQueue::enqueue(Track* track, TrackLibrary* library)
{
    if (songs.size() >= capacity || !track || !queueTable->hasPlace(songs.size()))
        return false;
    nextSong->measure(track->filePath());
    songs.append(track);
    if (busy) {
        track->setState(SongState::Queued);
        showSong(songs.size() - 1);
        takePortrait(track, false);
        armNext();
        return true;
    }
    if (startSong(track, library, Start::Wish))
        return true;
    // The song's place goes to the next candidate at once, so the party never falls silent.
    bool allSelectableAgain = false;
    refill(library, allSelectableAgain);
    return false;
}

bool PlayQueue::startSong(Track* track, TrackLibrary* library, Start start)
{
    // A song the engine has already started as the head's successor goes on as it is.
    applyLoudness(track);
    if (!track->player() || !track->player()->play()) {
        dropUnplayable(track);
        return false;
    }
    elapsedSeconds = 0;
    silentSeconds = 0;
    track->setState(SongState::Playing);
    busy = true;
    failedStarts.clear();
    showSong(0);
    // A wish on an idle queue is a wish even after a silence in which nothing could be played.
    const bool randomPick = start == Start::RandomPick;
    if (!playbackStarted) {
        playbackStarted = true;
        if (startTimerHook)
            startTimerHook();
        writePlaylistHeader();
    }
    writePlaylistLine(randomPick ? QStringLiteral("* ") : QStringLiteral("  "), track);
    // A waiting wish was photographed when it was wished.
    if (start != Start::WaitingWish)
        takePortrait(track, randomPick);
    // A pre-drawn song that a guest wished is spent once it plays: the next one is drawn (and measured)
    // now, so that it can follow seamlessly, instead of at the end, unmeasured and after a gap.
    if (nextRandom == track)
        nextRandom = nullptr;
    drawRandom(library);
    armNext();
    return true;
}

// A wish made before the engine switched always wins over the pre-drawn random song: every change of the
// head's successor re-arms the engine, and the engine's switch is atomic, so a failed re-arm means the
// random song has already started. A wish that came that late waits behind it (songFinished).
void PlayQueue::armNext()
{
    followCovers();
    if (!busy || songs.isEmpty() || !songs.first()->player())
        return;
    Foreigner* head = songs.first()->player();
    Track* candidate = songs.size() > 1 ? songs.at(1) : nextRandom;
    // A pre-drawn song that has been wished and played since is no successor; a new one is drawn when the
    // queue runs dry.
    if (candidate == nextRandom && candidate && (candidate->played() || candidate->playing()))
        candidate = nullptr;
    if (candidate == armed)
        return;
    const NextSongArmer::Arming arming =
        nextSong->arm(head, candidate ? candidate->player() : nullptr,
                      candidate ? candidate->filePath() : QString(), armed ? armed->player() : nullptr);
    // Too late: the head has already handed over to what was armed, which takeHandedOver() finds.
    if (arming != NextSongArmer::Arming::TooLate)
        armed = arming == NextSongArmer::Arming::Armed ? candidate : nullptr;
}

Track* PlayQueue::takeHandedOver()
{
    Track* track = std::exchange(armed, nullptr);
    if (!track || !NextSongArmer::tookOver(track->player(), !songs.isEmpty() && songs.first() == track))
        return nullptr;
    return track;
}

void PlayQueue::applyLoudness(Track* track)
{
    nextSong->applyLoudness(track->player(), track->filePath());
}

void PlayQueue::dropUnplayable(Track* track)
{
    logMessage(QCoreApplication::translate("PlayQueue", "Could not play the file %1; it is skipped.")
                   .arg(oneLineText(QDir::toNativeSeparators(track->filePath()))));
    if (unplayableHook)
        unplayableHook(track);
    songs.removeOne(track);
    if (track->player())
        track->player()->close();
    // Not played: a file that is back (a folder that was unreachable for a moment) may be wished again.
    track->setState(SongState::Free);
    if (nextRandom == track)
        nextRandom = nullptr;
    if (armed == track)
        armed = nullptr;
    failedStarts.insert(track);
    colourLibraryCell(track);
}

void PlayQueue::colourLibraryCell(const Track* track)
{
    queueTable->showLibraryState(track, waitingHueOf(track), waitingPositionOf(track));
}

void PlayQueue::showSong(int position)
{
    const Track* track = songs.at(position);
    queueTable->showSong(position, track, position > 0 ? hueAt(position) : -1);
    if (position == 0 && track->playing())
        queueTable->showCover(position, coverArt->cover(track->filePath()));
}

void PlayQueue::followCovers()
{
    QStringList paths;
    for (const Track* track : qAsConst(songs))
        paths << track->filePath();
    if (nextRandom && !songs.contains(nextRandom))
        paths << nextRandom->filePath();
    coverArt->follow(paths);
}

int PlayQueue::hueAt(int position) const
{
    return queueTable->waitingHue(position, elapsedSeconds, songs.isEmpty() ? 0.0 : songs.first()->seconds());
}

int PlayQueue::waitingPositionOf(const Track* track) const
{
    if (!track || !track->queued())
        return -1;
    return songs.indexOf(const_cast<Track*>(track), 1);
}

int PlayQueue::waitingHueOf(const Track* track) const
{
    const int position = waitingPositionOf(track);
    return position < 1 ? -1 : hueAt(position);
}

void PlayQueue::rebuildQueueRow()
{
    queueTable->clearRow(songs.size());
    for (int position = 0; position < songs.size(); ++position)
        showSong(position);
    followCovers();
}

bool PlayQueue::removeWaiting(int position)
{
    if (position < 1 || position >= songs.size())
        return false;
    Track* track = songs.takeAt(position);
    track->setState(SongState::Free);
    rebuildQueueRow();
    colourLibraryCell(track);
    logMessage(QCoreApplication::translate("PlayQueue", "The host took the wish %1 out of the queue.")
                   .arg(oneLineText(track->artist() + QStringLiteral(" - ") + track->title())));
    return true;
}

bool PlayQueue::skipHead(TrackLibrary* library, bool& allSelectableAgain)
{
    if (songs.isEmpty() || !busy)
        return false;
    const Track* head = songs.first();
    // Stopped, the stream sends no end of its own: the step below is its only end. A song that has just
    // played to its end is past skipping: its own end, already on its way, moves the queue on, and a skip
    // as well would end the song after it unheard.
    if (head->player() && !head->player()->stop())
        return false;
    const QString song = oneLineText(head->artist()) + QStringLiteral(" - ") + oneLineText(head->title());
    writeNotice(QStringLiteral("skipped by the host: ") + song);
    logMessage(QCoreApplication::translate("PlayQueue", "The host skipped the song %1.").arg(song));
    songFinished(library, allSelectableAgain);
    return true;
}

void PlayQueue::songFinished(TrackLibrary* library, bool& allSelectableAgain)
{
    if (!songs.isEmpty()) {
        Track* ended = songs.takeFirst();
        ended->setState(SongState::Played);
        if (ended->player())
            ended->player()->close();
        colourLibraryCell(ended);
    }
    Track* handedOver = takeHandedOver();
    if (handedOver && (songs.isEmpty() || songs.first() != handedOver)) {
        // The pre-drawn random song took over before a wish could be armed: it is the head, a random
        // pick, and the wishes wait behind it. A genre filter left without songs returns to all genres,
        // as when the queue runs dry.
        if (songs.isEmpty() && !drawFrom(library, true))
            allSelectableAgain = true;
        if (nextRandom == handedOver)
            nextRandom = nullptr;
        songs.removeAll(handedOver);
        songs.prepend(handedOver);
        startSong(handedOver, library, Start::RandomPick);
        rebuildQueueRow();
        return;
    }
    // A waiting wish whose file has gone since it was wished is skipped for the one behind it.
    while (!songs.isEmpty() && !startSong(songs.first(), library, Start::WaitingWish)) {
    }
    rebuildQueueRow();
    if (songs.isEmpty())
        refill(library, allSelectableAgain);
}

void PlayQueue::refill(TrackLibrary* library, bool& allSelectableAgain)
{
    busy = false;
    // Each failed start takes one more song out of the draw, so a library of broken files ends the search.
    const int attempts = library->trackCount() + 1;
    for (int attempt = 0; attempt < attempts && !busy; ++attempt) {
        if (!drawFrom(library, false)) {
            // Songs that have just failed to start would fail again: they stay out of the new round, and
            // when no other song is left there is no new round and nothing was played to the end.
            if (failedStarts.size() >= library->trackCount())
                break;
            startNewRound(library);
            allSelectableAgain = true;
        }
        if (!drawFrom(library, true))
            allSelectableAgain = true;
        // No pick at all needs a draw as much as a spent one: none is drawn while the last unplayed song
        // plays, and a pick that could not be started is forgotten.
        if (!nextRandom || nextRandom->played() || nextRandom->playing() || !nextRandom->inGenreFilter() ||
            failedStarts.contains(nextRandom)) {
            nextRandom = nullptr;
            drawRandom(library);
        }
        if (!nextRandom)
            break;
        Track* pick = std::exchange(nextRandom, nullptr);
        songs.append(pick);
        if (!startSong(pick, library, Start::RandomPick))
            drawRandom(library);
    }
    if (!busy && library->trackCount() > 0)
        logMessage(QCoreApplication::translate("PlayQueue", "None of the songs could be played."));
}

void PlayQueue::startNewRound(TrackLibrary* library)
{
    library->resetPlayedMarks();
    library->forEachTrack([this](const Track* track) { queueTable->showFreeAgain(track); });
    writeExhaustedNotice();
}

void PlayQueue::drawRandom(TrackLibrary* library)
{
    if (nextRandom || !library)
        return;
    nextRandom = drawFrom(library, true);
    if (!nextRandom)
        nextRandom = drawFrom(library, false);
    if (nextRandom)
        nextSong->measure(nextRandom->filePath());
    followCovers();
}

void PlayQueue::followGenreFilter(TrackLibrary* library)
{
    // The pick that follows the playing song is armed ahead, so the check at the song's end comes too late
    // for it: a genre chosen while a song plays steers the very next random song here.
    if (!nextRandom || nextRandom->inGenreFilter() || !library)
        return;
    Track* pick = drawFrom(library, true);
    if (!pick)
        return;
    nextRandom = pick;
    nextSong->measure(pick->filePath());
    armNext();
}

Track* PlayQueue::drawFrom(const TrackLibrary* library, bool onlyInGenreFilter) const
{
    // Most songs are free for most of a night: a few draws over the whole library find one without walking
    // fifty thousand songs at every change. Each draw is as likely to hit any selectable song, so the pick
    // is as fair as one from the list; late in a round, when the draws miss, the list decides.
    const int total = library->trackCount();
    for (int attempt = 0; attempt < 16 && total > 1; ++attempt) {
        Track* track = library->trackAt(randomIndex(total));
        if (track && TrackLibrary::isSelectable(track, onlyInGenreFilter) && !failedStarts.contains(track))
            return track;
    }
    const QList<Track*> found = candidates(library, onlyInGenreFilter);
    return found.isEmpty() ? nullptr : found.at(randomIndex(found.size()));
}

QList<Track*> PlayQueue::candidates(const TrackLibrary* library, bool onlyInGenreFilter) const
{
    QList<Track*> found = library->selectableTracks(onlyInGenreFilter);
    if (!failedStarts.isEmpty())
        found.erase(std::remove_if(found.begin(), found.end(),
                                   [this](Track* track) { return failedStarts.contains(track); }),
                    found.end());
    return found;
}

void PlayQueue::retryWhenSilent(TrackLibrary* library)
{
    if (busy || !playbackStarted || failedStarts.isEmpty() || ++silentSeconds < retrySeconds)
        return;
    silentSeconds = 0;
    const QList<Track*> failed = failedStarts.values();
    Track* pick = failed.at(randomIndex(failed.size()));
    songs.append(pick);
    startSong(pick, library, Start::RandomPick);
}

void PlayQueue::takePortrait(Track* track, bool random)
{
    if (!track)
        return;
    const QString name = portraits.nameWebcamPortrait(track->artist(), track->title(), random);
    if (name.isEmpty())
        return;
    track->setPhotoFileName(name);
    track->setCommentAsked(random);
    if (snapshotHook)
        snapshotHook(!random, name);
}

QString PlayQueue::nameGuestPortrait(const Track* track)
{
    if (!track)
        return QString();
    return portraits.nameGuestPortrait(track->artist(), track->title());
}

bool PlayQueue::pauseHead()
{
    if (songs.isEmpty() || !songs.first() || !songs.first()->player())
        return false;
    return songs.first()->player()->pause();
}

bool PlayQueue::resumeHead()
{
    if (songs.isEmpty() || !songs.first() || !songs.first()->player())
        return false;
    return songs.first()->player()->play();
}

void PlayQueue::tick()
{
    if (songs.isEmpty() || !playbackStarted)
        return;
    ++elapsedSeconds;
    for (int position = 1; position < songs.size(); ++position)
        showSong(position);
}

void PlayQueue::writePlaylistHeader()
{
    playlistFile->writeHeader();
}

void PlayQueue::writePlaylistLine(const QString& marker, const Track* track)
{
    if (track)
        playlistFile->writeLine(marker, track->artist(), track->title());
}

void PlayQueue::writeExhaustedNotice()
{
    writeNotice(QStringLiteral("there were no more unplayed songs left - all songs can be selected again"));
}

void PlayQueue::writeNotice(const QString& text)
{
    playlistFile->writeNotice(text);
}
