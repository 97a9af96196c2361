// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFuture>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace opencv {
class Snapshot;
}

// Takes a frame of the party every few seconds into a folder of numbered JPEGs ("00001.jpg", ...), each
// on the global thread pool. A frame waits for nothing: it is skipped while a portrait is being taken or
// the previous frame is still being written. When the disk runs short the frames stop, with one log line;
// the party goes on. Lives on the GUI thread.
class StopMotion : public QObject
{
    Q_OBJECT

public:
    // Below this many free bytes no frame is taken: the log, the playlist and the portraits come first.
    static constexpr qint64 defaultReserveBytes = qint64(64) * 1024 * 1024;

    // `camera` and the function telling whether a portrait is under way must outlive this object.
    StopMotion(opencv::Snapshot* camera, const QString& folder, int seconds,
               std::function<bool()> portraitUnderWay, QObject* parent = nullptr);
    // Waits for the frame under way.
    ~StopMotion() override;
    StopMotion(const StopMotion&) = delete;
    StopMotion& operator=(const StopMotion&) = delete;

    void start();
    void stop();
    bool isRunning() const { return timer.isActive(); }
    void setReserveBytes(qint64 bytes) { reserveBytes = bytes; }
    QString folder() const { return frameFolder; }
    int framesStarted() const { return frameNumber; }
    // Waits until the frame under way, if any, has been written.
    void waitForFrame();

public slots:
    // One tick of the timer: starts the next frame unless something above says no.
    void takeFrame();

private:
    opencv::Snapshot* camera = nullptr;
    QString frameFolder;
    std::function<bool()> portraitUnderWay;
    QTimer timer;
    QFuture<bool> frameJob;
    int frameNumber = 0;
    qint64 reserveBytes = defaultReserveBytes;
    bool diskFull = false;
};

// What became of the film.
struct PartyFilm
{
    int frames = 0; // frames in the film; 0: no film was written
    QString codec;  // "H.264" or "MJPEG"
};

// Makes the JPEGs of `frameFolder`, in the order of their numbers, into the film `filmPath` at `fps`
// frames a second: H.264 where this system's OpenCV can write it, Motion-JPEG otherwise. Every frame takes
// the size of the first. Checks the free space first; the outcome or the reason for no film is logged.
PartyFilm writePartyFilm(const QString& frameFolder, const QString& filmPath, double fps = 12);
