#include "PlayQueue.h"

#include "AudioEngine.h"
#include "Snapshot.h"
#include "Track.h"
#include "TrackLibrary.h"
#include "audio/LoudnessCache.h"
#include "photonames.h"
#include "runlog.h"
#include "settings.h"
#include "songcells.h"
#include "style.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTextStream>
#include <sys/random.h>

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

PlayQueue::PlayQueue(QTableWidget* queueTable)
    : capacity(queueTable ? queueTable->columnCount() : 0),
      playlistFile(new QFile(runFolder() + QStringLiteral("Vimo Playlist ") +
                             QDateTime::currentDateTime().toString(QStringLiteral("yyyy_MM_dd--hh_mm")) +
                             QStringLiteral(".txt"))),
      queueTable(queueTable)
{
    QVariant normalize(1);
    readSettingOrDefault(QStringLiteral("Audio/Normalize loudness"), normalize);
    loudness = std::make_unique<LoudnessCache>(normalize.toInt() != 0);
    AudioEngine::instance().setReplayGainUsed(loudness->isEnabled());
}

PlayQueue::~PlayQueue()
{
    playlistFile->close();
    delete playlistFile;
}

QString PlayQueue::playlistPath() const
{
    return playlistFile->fileName();
}

bool PlayQueue::enqueue(Track* track, TrackLibrary* library, QTableWidgetItem* libraryCell)
{
    if (songs.size() >= capacity || !track)
        return false;
    loudness->measure(track->filePath());
    songs.append(track);
    const int position = songs.size() - 1;
    QTableWidgetItem* queueCell = queueTable->item(0, position);
    if (!queueCell)
        return false;

    if (busy) {
        track->setQueued(true);
        if (libraryCell)
            colourSongCells(libraryCell, queueCell, track, position, this);
        takePortrait(track, false);
        armNext();
    } else {
        applyLoudness(track);
        if (!track->player() || !track->player()->play()) {
            dropUnplayable(track, library, nullptr);
            // The song's place goes to the next candidate at once, so the party never falls silent.
            if (!refilling) {
                bool allSelectableAgain = false;
                playRandomWhenIdle(library, nullptr, allSelectableAgain);
            }
            return false;
        }
        elapsedSeconds = 0;
        track->setPlaying(true);
        busy = true;
        failedStarts.clear();
        if (libraryCell)
            colourSongCells(libraryCell, queueCell, track, position, this);
        // A song started on an idle queue after the first is a random pick; so is the first song itself
        // when it stands in for a first wish that could not be played.
        const bool randomPick = playbackStarted || refilling;
        if (!playbackStarted) {
            playbackStarted = true;
            if (startTimerHook)
                startTimerHook();
            writePlaylistHeader();
        }
        writePlaylistLine(randomPick ? QStringLiteral("* ") : QStringLiteral("  "), track);
        takePortrait(track, randomPick);
        if (songs.size() == 1)
            drawRandom(library);
        armNext();
    }
    queueCell->setText(track->displayText());
    return true;
}

void PlayQueue::dropUnplayable(Track* track, TrackLibrary* library, QTableWidget* libraryView)
{
    logMessage(QCoreApplication::translate("PlayQueue", "Could not play the file %1; it is skipped.")
                   .arg(QDir::toNativeSeparators(track->filePath())));
    songs.removeOne(track);
    if (track->player())
        track->player()->close();
    track->setQueued(false);
    track->setPlaying(false);
    track->setPlayed(true);
    if (nextRandom == track)
        nextRandom = nullptr;
    if (armed == track)
        armed = nullptr;
    failedStarts.append(track);
    colourLibraryCell(track, library, libraryView);
}

void PlayQueue::colourLibraryCell(const Track* track, TrackLibrary* library, QTableWidget* libraryView)
{
    QTableWidgetItem* cell = libraryView ? findSongCell(track, libraryView) : library->tableItemFor(track);
    if (cell)
        colourSongCells(cell, nullptr, track, -1, this);
}

bool PlayQueue::startHead(Track* track, TrackLibrary* library, QTableWidget* libraryView)
{
    elapsedSeconds = 0;
    applyLoudness(track);
    if (!track->player() || !track->player()->play()) {
        dropUnplayable(track, library, libraryView);
        return false;
    }
    track->setPlaying(true);
    track->setPlayed(false);
    track->setQueued(false);
    failedStarts.clear();
    writePlaylistLine(QStringLiteral("  "), track);
    drawRandom(library);
    armNext();
    return true;
}

// A wish made before the engine switched always wins over the pre-drawn random song: every change of the
// head's successor re-arms the engine, and the engine's switch is atomic, so a failed re-arm means the
// random song has already started. A wish that came that late waits behind it (startHandedOverRandom).
void PlayQueue::armNext()
{
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
    Foreigner* next = candidate ? candidate->player() : nullptr;
    if (candidate)
        applyLoudness(candidate);
    // A successor whose file cannot be opened is not armed; nothing follows seamlessly, and its turn
    // comes (and fails) as before.
    if (next && !next->prepare())
        next = nullptr;
    if (!head->handOverTo(next)) {
        // Too late: the head has already handed over to what was armed, which takeHandedOver() finds.
        if (next && !next->hasStarted())
            next->close();
        return;
    }
    if (armed && armed->player())
        armed->player()->close();
    armed = next ? candidate : nullptr;
}

Track* PlayQueue::takeHandedOver()
{
    Track* track = armed;
    armed = nullptr;
    if (!track || !track->player())
        return nullptr;
    if (track->player()->hasStarted())
        return track;
    // The head was cut off before its end (its device went away): the prepared song waits for its turn if
    // it is the next head, and otherwise goes until it is needed.
    if (songs.isEmpty() || songs.first() != track)
        track->player()->close();
    return nullptr;
}

void PlayQueue::startHandedOverRandom(Track* track, TrackLibrary* library, QTableWidget* libraryView)
{
    if (nextRandom == track)
        nextRandom = nullptr;
    songs.removeAll(track);
    songs.prepend(track);
    elapsedSeconds = 0;
    track->setPlaying(true);
    track->setPlayed(false);
    track->setQueued(false);
    busy = true;
    failedStarts.clear();
    writePlaylistLine(QStringLiteral("* "), track);
    takePortrait(track, true);
    drawRandom(library);
    armNext();
    rebuildQueueRow(libraryView);
}

void PlayQueue::rebuildQueueRow(QTableWidget* libraryView)
{
    queueTable->clear();
    for (int index = 0; index < songs.size(); ++index) {
        Track* track = songs.at(index);
        auto* cell = new QTableWidgetItem(track->displayText());
        cell->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        queueTable->setItem(0, index, cell);
        colourSongCells(cell, findSongCell(track, libraryView), track, index, this);
    }
    for (int column = songs.size(); column < capacity; ++column) {
        auto* cell = new QTableWidgetItem;
        styleTableCell(cell);
        queueTable->setItem(0, column, cell);
    }
}

bool PlayQueue::songFinished(TrackLibrary* library, QTableWidget* libraryView, bool& allSelectableAgain)
{
    if (!libraryView)
        return false;
    if (!songs.isEmpty()) {
        Track* ended = songs.takeFirst();
        ended->setPlaying(false);
        ended->setPlayed(true);
        ended->setQueued(false);
        if (ended->player())
            ended->player()->close();
        if (QTableWidgetItem* cell = findSongCell(ended, libraryView))
            colourSongCells(cell, nullptr, ended, -1, this);
    }
    Track* handedOver = takeHandedOver();
    if (handedOver && (songs.isEmpty() || songs.first() != handedOver)) {
        // A genre filter left without songs returns to all genres, as when the queue runs dry.
        if (songs.isEmpty() && library->selectableTracks(true).isEmpty())
            allSelectableAgain = true;
        startHandedOverRandom(handedOver, library, libraryView);
        return true;
    }
    // A waiting wish whose file has gone since it was wished is skipped for the one behind it.
    while (!songs.isEmpty() && !startHead(songs.first(), library, libraryView)) {
    }
    rebuildQueueRow(libraryView);
    if (!songs.isEmpty())
        return true;
    playRandomWhenIdle(library, libraryView, allSelectableAgain);
    return true;
}

void PlayQueue::playRandomWhenIdle(TrackLibrary* library, QTableWidget* libraryView, bool& allSelectableAgain)
{
    // Each failed start marks one more song played, so a library of broken files ends the search.
    refilling = true;
    busy = false;
    const int attempts = library->trackCount() + 1;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (library->selectableTracks(false).isEmpty()) {
            // Songs that have just failed to start would fail again: they stay out of the new round, and
            // when no other song is left there is no new round and nothing was played to the end.
            if (failedStarts.size() >= library->trackCount())
                break;
            library->resetPlayedMarks();
            for (Track* track : qAsConst(failedStarts)) {
                track->setPlayed(true);
                colourLibraryCell(track, library, libraryView);
            }
            writeExhaustedNotice();
            allSelectableAgain = true;
        }
        if (library->selectableTracks(true).isEmpty())
            allSelectableAgain = true;
        // No pick at all needs a draw as much as a spent one: none is drawn while the last unplayed song
        // plays, and a pick that could not be started is forgotten.
        if (!nextRandom || nextRandom->played() || nextRandom->playing() || !nextRandom->inGenreFilter()) {
            nextRandom = nullptr;
            drawRandom(library);
        }
        if (!nextRandom)
            break;
        Track* pick = nextRandom;
        nextRandom = nullptr;
        QTableWidgetItem* cell = libraryView ? findSongCell(pick, libraryView) : library->tableItemFor(pick);
        if (enqueue(pick, library, cell))
            break;
        drawRandom(library);
    }
    refilling = false;
    if (!busy && library->trackCount() > 0)
        logMessage(QCoreApplication::translate("PlayQueue", "None of the songs could be played."));
}

void PlayQueue::drawRandom(TrackLibrary* library)
{
    if (nextRandom || !library)
        return;
    QList<Track*> candidates = library->selectableTracks(true);
    if (candidates.isEmpty())
        candidates = library->selectableTracks(false);
    if (!candidates.isEmpty()) {
        nextRandom = candidates.at(randomIndex(candidates.size()));
        loudness->measure(nextRandom->filePath());
    }
}

void PlayQueue::applyLoudness(Track* track)
{
    if (track->player())
        track->player()->setGain(loudness->gainFor(track->filePath()));
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

void PlayQueue::tick(QTableWidget* libraryView)
{
    if (songs.isEmpty() || !playbackStarted)
        return;
    ++elapsedSeconds;
    // A measurement that was not ready when the next song was armed still reaches it before it starts.
    if (armed)
        applyLoudness(armed);
    for (int position = 1; position < songs.size(); ++position) {
        QTableWidgetItem* queueCell = queueTable->item(0, position);
        if (queueCell)
            colourSongCells(queueCell, findSongCell(songs.at(position), libraryView), songs.at(position),
                            position, this);
    }
}

namespace {
bool openForAppending(QFile* file)
{
    return file->isOpen() || file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void writeText(QFile* file, const QString& text)
{
    if (!openForAppending(file))
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
    writeText(playlistFile, QStringLiteral("The playback started at ") +
                                QDateTime::currentDateTime().toString(Qt::TextDate) +
                                QStringLiteral("\nSongs that were selected randomly are marked with *\n\n"));
}

void PlayQueue::writePlaylistLine(const QString& marker, const Track* track)
{
    if (!track)
        return;
    ++lineCounter;
    writeText(playlistFile, paddedNumber(lineCounter, false) + QStringLiteral(": ") + marker +
                                track->artist() + QStringLiteral(" - ") + track->title() + QLatin1Char('\n'));
}

void PlayQueue::writeExhaustedNotice()
{
    writeText(playlistFile,
              QStringLiteral(
                  "\n < there were no more unplayed songs left - all songs can be selected again > \n\n"));
}
