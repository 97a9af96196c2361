// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "camera/PortraitNamer.h"

#include <QList>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

class CoverArtKeeper;
class NextSongArmer;
class PlaylistFile;
class QueueDisplay;
class Track;
class TrackLibrary;

// A random index in 0 .. n-1 from the operating system's secure generator (0 for n <= 1 or a failed draw).
int randomIndex(int n);
// The index that 32 random bits give for n choices: the draw over the largest possible draw, times n,
// truncated; the largest draw itself, which alone would reach n, counts as n - 1.
int randomIndexFromDraw(quint32 draw, int n);

// The wishes: the head plays, up to capacity - 1 songs wait behind it, and a random unplayed song drawn in
// advance fills every silence. Also keeps the run's playlist protocol. Lives on the GUI thread.
class PlayQueue
{
public:
    // The display shows the queue and colours the songs' cells; its places are the queue's capacity.
    explicit PlayQueue(std::unique_ptr<QueueDisplay> display);
    ~PlayQueue();
    PlayQueue(const PlayQueue&) = delete;
    PlayQueue& operator=(const PlayQueue&) = delete;

    // What the queue asks of its window: start the one-second tick, photograph a song, and tell the
    // guests of a song that could not be played and is skipped.
    std::function<void()> startTimerHook;
    std::function<void(bool showComment, const QString& fileName)> snapshotHook;
    std::function<void(const Track* track)> unplayableHook;
    void setWebcam(const opencv::Snapshot* camera) { portraits.setWebcam(camera); }

    // Appends a wish and starts it at once when nothing plays; false when the queue is full or the song
    // could not be started (a random song then takes its place).
    bool enqueue(Track* track, TrackLibrary* library);
    // The head has ended: the next song starts, or the pre-drawn random song when no wish waits.
    // Sets allSelectableAgain when every song (or every song of the genre filter) has been played.
    void songFinished(TrackLibrary* library, bool& allSelectableAgain);
    // Host controls. Takes the waiting wish at `position` (1 and up) back out of the queue: the song is free
    // to be wished again and the songs behind it move up. False when no wish waits there.
    bool removeWaiting(int position);
    // Ends the playing song early, with a notice under its playlist line, and goes on as at its end. False
    // when nothing plays, or the song has just ended by itself.
    bool skipHead(TrackLibrary* library, bool& allSelectableAgain);
    // Draws the next random song unless one is drawn already.
    void drawRandom(TrackLibrary* library);
    // After the grid's genre filter changed: a pre-drawn song the filter no longer shows gives way to one
    // it shows, if one is left.
    void followGenreFilter(TrackLibrary* library);
    // Names the song's photo and starts the snapshot; nothing without a webcam.
    void takePortrait(Track* track, bool random);
    // Counts and names the portrait a guest's phone brought for the song, as the webcam names its photos.
    QString nameGuestPortrait(const Track* track);

    // Pause and resume of the head song; false when nothing plays.
    bool pauseHead();
    bool resumeHead();
    // One second of the head song has passed; recolours the waiting songs.
    void tick();
    // One more second of silence because every song failed to start (their folder unreachable for a
    // while): now and then one of them is tried again, so the music comes back with its folder.
    void retryWhenSilent(TrackLibrary* library);
    // The hue of a waiting song's place, or -1 when the song does not wait in the queue.
    int waitingHueOf(const Track* track) const;
    // The place of a waiting song (1 = next), or -1 when the song does not wait in the queue.
    int waitingPositionOf(const Track* track) const;

    void writePlaylistHeader();
    void writePlaylistLine(const QString& marker, const Track* track);
    void writeExhaustedNotice();
    // A line "\n < text > \n\n", in the form of the exhausted-library notice.
    void writeNotice(const QString& text);

    const QList<Track*>& queuedSongs() const { return songs; }
    int queueCapacity() const { return capacity; }
    bool isBusy() const { return busy; }
    bool hasPlaybackStarted() const { return playbackStarted; }
    int playlistLineCount() const;
    int photoCount() const { return portraits.count(); }
    Track* preDrawnRandom() const { return nextRandom; }
    int secondsElapsed() const { return elapsedSeconds; }
    QString playlistPath() const;
    // The covers of the songs about to play.
    CoverArtKeeper& covers() const { return *coverArt; }

private:
    // How a song comes to play: a wish on an idle queue, a waiting wish that the end of the head
    // moves up, or a random pick that fills the silence.
    enum class Start { Wish, WaitingWish, RandomPick };

    // Starts the song at the head of the queue; on failure it leaves the queue and stays free.
    bool startSong(Track* track, TrackLibrary* library, Start start);
    void dropUnplayable(Track* track);
    // The queue has run dry: start the pre-drawn random song, or the next one that plays.
    void refill(TrackLibrary* library, bool& allSelectableAgain);
    // Every song is free again.
    void startNewRound(TrackLibrary* library);
    // The songs a random pick may take: selectable, and not among those that have just failed to start.
    QList<Track*> candidates(const TrackLibrary* library, bool onlyInGenreFilter) const;
    // A song drawn at random among the candidates, or null when there is none.
    Track* drawFrom(const TrackLibrary* library, bool onlyInGenreFilter) const;
    // Shows the song at `position` in its queue cell and colours its cells by its state.
    void showSong(int position);
    void rebuildQueueRow();
    // The covers kept are those of the queue's songs and the pre-drawn one.
    void followCovers();
    void colourLibraryCell(const Track* track);
    int hueAt(int position) const;
    // Gives the song's player the gain that its measured loudness asks for, if it is measured by now.
    void applyLoudness(Track* track);
    // Hands the engine the song that follows the head (the first waiting wish, else the pre-drawn random
    // song), opened and decoded ahead, whenever that song changes.
    void armNext();
    // The head has ended: the armed song, if the engine started it, or null.
    Track* takeHandedOver();

    QList<Track*> songs;
    int capacity = 0;
    bool busy = false;
    bool playbackStarted = false;
    Track* nextRandom = nullptr;
    int elapsedSeconds = 0;
    // The playlist protocol, and the number of its last line.
    std::unique_ptr<PlaylistFile> playlistFile;
    // What shows the queue: the one-row queue table, and the songs' cells in the grid.
    std::unique_ptr<QueueDisplay> queueTable;
    PortraitNamer portraits;
    // The songs that failed to start since a song last started: no random pick takes them meanwhile.
    QSet<Track*> failedStarts;
    int silentSeconds = 0;
    std::unique_ptr<NextSongArmer> nextSong;
    // The song the engine starts in the sample after the head's last.
    Track* armed = nullptr;
    std::unique_ptr<CoverArtKeeper> coverArt;
    static constexpr int retrySeconds = 10;
};
