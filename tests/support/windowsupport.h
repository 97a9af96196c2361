// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class MainWindow;
class PlayQueue;
class QSemaphore;
class QTableWidget;
class QTableWidgetItem;
class Track;
class TrackLibrary;

namespace vimotest {

// The program's main window as a user gets it: the webcam question answered "No", the window active, so
// shortcuts (Escape, Alt+A) reach it.
std::unique_ptr<MainWindow> openMainWindow();
// The same with the songs of `folder` added, the adding job ended and the layout settled.
std::unique_ptr<MainWindow> openMainWindowWithSongs(const QString& folder);

// A place in the run's log; what was written after it, as whole text or as the messages of its lines (the
// time prefix taken off; the empty message "\n" shows as one "").
class LogMark
{
public:
    LogMark();
    QString text() const;
    QStringList messages() const;
    // Waits until `count` adding jobs have ended (finished or cancelled) after the mark.
    bool waitForJobEnds(int count = 1, int timeoutMs = 30000) const;

private:
    qint64 offset = 0;
};

// Keeps every thread of the global pool busy until open() or the end of its life: a job started meanwhile
// waits with not one file read, so the window's first notifications come in a known order.
class PoolGate
{
public:
    PoolGate();
    ~PoolGate();
    PoolGate(const PoolGate&) = delete;
    PoolGate& operator=(const PoolGate&) = delete;
    void open();

private:
    std::shared_ptr<QSemaphore> gate;
    int threads = 0;
    bool opened = false;
};

class SignalCounter;

// One start of the program as a party meets it: the window (webcam question answered "No", active), the
// songs a test adds through it, every song end it is told about, and what this run adds to the log and the
// playlist (two runs in one minute share the playlist).
class PartyWindow
{
public:
    PartyWindow();
    virtual ~PartyWindow();
    PartyWindow(const PartyWindow&) = delete;
    PartyWindow& operator=(const PartyWindow&) = delete;

    // Adds every song below `folder` and waits until the job has ended with `songs` songs in the library.
    // Waits on the window, not on the log: some runs have no log they could write.
    bool add(const QString& folder, int songs);

    TrackLibrary* library() const;
    PlayQueue* queue() const;
    QList<Track*> songs() const;
    // The song with this title (the fixtures' titles differ), or null.
    Track* titled(const QString& title) const;
    QTableWidgetItem* cellOf(const Track* track) const;
    Track* head() const;
    // A guest's wish, as the grid reports an activated cell.
    void wish(const Track* track);

    QString playlistPath() const;
    QString playlist() const;
    QStringList lines() const;
    QStringList log() const;
    bool logged(const QString& text) const;

    std::unique_ptr<MainWindow> window;
    QTableWidget* grid = nullptr;
    QTableWidget* queueRow = nullptr;
    std::unique_ptr<SignalCounter> ends;
    qint64 logStart = 0;
    qint64 playlistStart = 0;
};

} // namespace vimotest
