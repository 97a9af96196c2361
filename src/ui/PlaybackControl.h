// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

class DesktopLink;
class PhoneDesk;
class PlayQueue;
class PortraitJobs;
class Track;
class QAbstractButton;
class QMutex;
class QTableWidgetItem;
class QTimer;
class TrackLibrary;
struct PhoneParty;

// What playback asks of its window, read when needed.
struct PlaybackWindow
{
    std::function<TrackLibrary*()> library;
    std::function<bool()> hostMayAct;
    // Every song is free again: the grid shows all genres.
    std::function<void()> showAllGenresAgain;
    std::function<PhoneDesk*()> phones;
    std::function<QString()> portraitFolder;
    // What plays now (null: nothing) and whether it is paused, for the queue row.
    std::function<void(const Track* head, bool paused)> showHead;
};

// The queue's run at the window: wishes from the grid, the end of a song, pause, the host's skip and take
// back, the one-second tick, and telling the desktop and the phones what plays now.
class PlaybackControl
{
public:
    // Songs and queue are changed under `libraryMutex`; `tick` is the one-second timer; `pauseButton`
    // shows the pause.
    PlaybackControl(PlayQueue* queue, QMutex& libraryMutex, QTimer& tick, QAbstractButton& pauseButton,
                    DesktopLink& desktop, PlaybackWindow window);

    bool isPaused() const { return paused; }
    // A guest's wish of the song in a grid cell.
    void wishCell(const QTableWidgetItem* item);
    bool songFinished();
    void pauseOrPlayOn();
    // Host controls: skip the playing song; take back the waiting wish at a queue position.
    void skipSong();
    void removeWish(int position);
    void tickSecond();
    // Tells the desktop and the phones what plays now.
    void publishPlayback();
    // What the phones reach: the songs, the queue and its one wish path, the pause, and the portraits,
    // whose new one from a phone is handed on to `portraitStored` as well.
    PhoneParty phoneParty(PortraitJobs& portraits, std::function<void(Track*)> portraitStored);

private:
    PlayQueue* playQueue = nullptr;
    QMutex& mutex;
    QTimer& updateTimer;
    QAbstractButton& pause;
    DesktopLink& desktop;
    PlaybackWindow view;
    bool paused = false;
};
