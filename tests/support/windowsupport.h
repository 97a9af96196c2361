#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class MainWindow;
class QSemaphore;

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

} // namespace vimotest
