#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace opencv {
class Snapshot;
}
class LoudnessCache;
class QFile;
class QTableWidget;
class QTableWidgetItem;
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
    explicit PlayQueue(QTableWidget* queueTable);
    ~PlayQueue();
    PlayQueue(const PlayQueue&) = delete;
    PlayQueue& operator=(const PlayQueue&) = delete;

    // What the queue asks of its window: start the one-second tick, and photograph a song.
    std::function<void()> startTimerHook;
    std::function<void(bool showComment, const QString& fileName)> snapshotHook;
    void setWebcam(const opencv::Snapshot* camera) { webcam = camera; }

    // Appends a wish (or a random pick); starts it at once when nothing plays. The library cell may be null.
    bool enqueue(Track* track, TrackLibrary* library, QTableWidgetItem* libraryCell);
    // The head has ended: the next song starts, or the pre-drawn random song when no wish waits.
    // Sets allSelectableAgain when every song (or every song of the genre filter) has been played.
    bool songFinished(TrackLibrary* library, QTableWidget* libraryView, bool& allSelectableAgain);
    // Draws the next random song unless one is drawn already.
    void drawRandom(TrackLibrary* library);
    // Names the song's photo and starts the snapshot; nothing without a webcam.
    void takePortrait(Track* track, bool random);

    // Pause and resume of the head song; false when nothing plays.
    bool pauseHead();
    bool resumeHead();
    // One second of the head song has passed; recolours the waiting songs.
    void tick(QTableWidget* libraryView);

    void writePlaylistHeader();
    void writePlaylistLine(const QString& marker, const Track* track);
    void writeExhaustedNotice();

    const QList<Track*>& queuedSongs() const { return songs; }
    int queueCapacity() const { return capacity; }
    bool isBusy() const { return busy; }
    bool hasPlaybackStarted() const { return playbackStarted; }
    int playlistLineCount() const { return lineCounter; }
    int photoCount() const { return photoCounter; }
    Track* preDrawnRandom() const { return nextRandom; }
    int secondsElapsed() const { return elapsedSeconds; }
    QString playlistPath() const;

private:
    // Starts `track` as the new head; on failure it is dropped from the queue and marked played.
    bool startHead(Track* track, TrackLibrary* library, QTableWidget* libraryView);
    void rebuildQueueRow(QTableWidget* libraryView);
    void dropUnplayable(Track* track, TrackLibrary* library, QTableWidget* libraryView);
    void colourLibraryCell(const Track* track, TrackLibrary* library, QTableWidget* libraryView);
    // Gives the song's player the gain that its measured loudness asks for, if it is measured by now.
    void applyLoudness(Track* track);
    // Hands the engine the song that follows the head (the first waiting wish, else the pre-drawn random
    // song), opened and decoded ahead, whenever that song changes.
    void armNext();
    // The head has ended: the armed song, if the engine started it, or null.
    Track* takeHandedOver();
    // The pre-drawn random song took over from the ended head before a wish could be armed: it becomes the
    // head, a random pick, and the wishes wait behind it.
    void startHandedOverRandom(Track* track, TrackLibrary* library, QTableWidget* libraryView);
    // The queue has run dry: start the pre-drawn random song, or the next one that plays.
    void playRandomWhenIdle(TrackLibrary* library, QTableWidget* libraryView, bool& allSelectableAgain);

    QList<Track*> songs;
    int capacity = 0;
    bool busy = false;
    bool playbackStarted = false;
    int lineCounter = 0;
    int photoCounter = 0;
    Track* nextRandom = nullptr;
    int elapsedSeconds = 0;
    QFile* playlistFile = nullptr;
    QTableWidget* queueTable = nullptr;
    const opencv::Snapshot* webcam = nullptr;
    bool refilling = false;
    std::unique_ptr<LoudnessCache> loudness;
    // The song the engine starts in the sample after the head's last.
    Track* armed = nullptr;
    // The songs that failed to start since a song last started.
    QList<Track*> failedStarts;
};
