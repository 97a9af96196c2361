#include "PlayQueue.h"

#include "Snapshot.h"
#include "SongCellIndex.h"
#include "Track.h"
#include "TrackLibrary.h"
#include "photonames.h"
#include "plainfile.h"
#include "plaintext.h"
#include "runlog.h"
#include "songcells.h"
#include "style.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTextStream>
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

PlayQueue::PlayQueue(QTableWidget* table, const SongCellIndex* cells)
    : capacity(table ? table->columnCount() : 0),
      playlistName(runFolder() + QStringLiteral("Vimo Playlist ") +
                   QDateTime::currentDateTime().toString(QStringLiteral("yyyy_MM_dd--hh_mm")) +
                   QStringLiteral(".txt")),
      playlistFile(new QFile), queueTable(table), libraryCells(cells)
{}

PlayQueue::~PlayQueue()
{
    playlistFile->close();
    delete playlistFile;
}

QString PlayQueue::playlistPath() const
{
    return playlistName;
}

bool PlayQueue::enqueue(Track* track, TrackLibrary* library)
{
    if (songs.size() >= capacity || !track || !queueTable->item(0, songs.size()))
        return false;
    songs.append(track);
    if (busy) {
        track->setState(SongState::Queued);
        showSong(songs.size() - 1);
        takePortrait(track, false);
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
    drawRandom(library);
    return true;
}

void PlayQueue::dropUnplayable(Track* track)
{
    logMessage(QCoreApplication::translate("PlayQueue", "Could not play the file %1; it is skipped.")
                   .arg(QDir::toNativeSeparators(track->filePath())));
    songs.removeOne(track);
    if (track->player())
        track->player()->close();
    // Not played: a file that is back (a folder that was unreachable for a moment) may be wished again.
    track->setState(SongState::Free);
    if (nextRandom == track)
        nextRandom = nullptr;
    failedStarts.insert(track);
    colourLibraryCell(track);
}

QTableWidgetItem* PlayQueue::libraryCellOf(const Track* track) const
{
    return libraryCells ? libraryCells->cellOf(track) : nullptr;
}

void PlayQueue::colourLibraryCell(const Track* track)
{
    colourSongCells(libraryCellOf(track), nullptr, track->state(), waitingHueOf(track));
}

void PlayQueue::showSong(int position)
{
    const Track* track = songs.at(position);
    QTableWidgetItem* queueCell = queueTable->item(0, position);
    if (queueCell)
        queueCell->setText(track->displayText());
    colourSongCells(libraryCellOf(track), queueCell, track->state(), position > 0 ? hueAt(position) : -1);
}

int PlayQueue::hueAt(int position) const
{
    return waitingHue(position, capacity, elapsedSeconds, songs.isEmpty() ? 0.0 : songs.first()->seconds());
}

int PlayQueue::waitingHueOf(const Track* track) const
{
    if (!track || !track->queued())
        return -1;
    const int position = songs.indexOf(const_cast<Track*>(track), 1);
    return position < 1 ? -1 : hueAt(position);
}

void PlayQueue::rebuildQueueRow()
{
    queueTable->clear();
    for (int position = 0; position < capacity; ++position) {
        auto* cell = new QTableWidgetItem;
        if (position < songs.size())
            cell->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        else
            styleTableCell(cell);
        queueTable->setItem(0, position, cell);
        if (position < songs.size())
            showSong(position);
    }
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
        if (candidates(library, false).isEmpty()) {
            // Songs that have just failed to start would fail again: they stay out of the new round, and
            // when no other song is left there is no new round and nothing was played to the end.
            if (failedStarts.size() >= library->trackCount())
                break;
            startNewRound(library);
            allSelectableAgain = true;
        }
        if (candidates(library, true).isEmpty())
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
    library->forEachTrack([this](Track* track) {
        if (QTableWidgetItem* cell = libraryCellOf(track))
            styleTableCell(cell);
    });
    writeExhaustedNotice();
}

void PlayQueue::drawRandom(TrackLibrary* library)
{
    if (nextRandom || !library)
        return;
    QList<Track*> found = candidates(library, true);
    if (found.isEmpty())
        found = candidates(library, false);
    if (!found.isEmpty())
        nextRandom = found.at(randomIndex(found.size()));
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
    const QString name =
        opencv::nameNextPortrait(webcam, photoCounter, track->artist(), track->title(), random);
    if (name.isEmpty())
        return;
    track->setPhotoFileName(name);
    track->setCommentAsked(random);
    if (snapshotHook)
        snapshotHook(!random, name);
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

namespace {
bool openForAppending(QFile* file, const QString& path)
{
    if (file->isOpen() && stillAt(*file, path))
        return true;
    file->close();
    QString error;
    if (openPlainFileForAppending(*file, path, &error))
        return true;
    logMessage(QCoreApplication::translate("PlayQueue", "The playlist \"%1\" is not written: %2.")
                   .arg(QDir::toNativeSeparators(path), error));
    return false;
}

void writeText(QFile* file, const QString& path, const QString& text)
{
    if (!openForAppending(file, path))
        return;
    QTextStream stream(file);
    stream.setCodec("UTF-8");
    stream << text;
    stream.flush();
    file->flush();
}
} // namespace

void PlayQueue::writePlaylistHeader()
{
    playlistFile->close();
    writeText(playlistFile, playlistName,
              QStringLiteral("The playback started at ") +
                  QDateTime::currentDateTime().toString(Qt::TextDate) +
                  QStringLiteral("\nSongs that were selected randomly are marked with *\n\n"));
}

void PlayQueue::writePlaylistLine(const QString& marker, const Track* track)
{
    if (!track)
        return;
    ++lineCounter;
    writeText(playlistFile, playlistName,
              paddedNumber(lineCounter, false) + QStringLiteral(": ") + marker +
                  oneLineText(track->artist()) + QStringLiteral(" - ") + oneLineText(track->title()) +
                  QLatin1Char('\n'));
}

void PlayQueue::writeExhaustedNotice()
{
    writeText(playlistFile, playlistName,
              QStringLiteral(
                  "\n < there were no more unplayed songs left - all songs can be selected again > \n\n"));
}
