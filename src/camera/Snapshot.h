// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <memory>
#include <mutex>

template <typename T> class QFuture;

namespace cv {
class VideoCapture;
}

namespace opencv {

// The capture device and what the snapshots need of it.
struct Camera
{
    Camera(int deviceIndex, int jpegQuality, std::unique_ptr<cv::VideoCapture> capture);
    // Releases an opened device and logs it.
    ~Camera();
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    int deviceIndex = 0; // the setting "DirectX Device ID"; -1 for a video file
    bool opened = false;
    std::unique_ptr<cv::VideoCapture> capture;
    int jpegQuality = 95;
    // The capture object is not thread-safe, and portraits and stop-motion frames come from different
    // pool jobs: whoever reads a frame holds this.
    std::mutex readMutex;
};

// The webcam that photographs every song the queue takes on.
class Snapshot
{
public:
    // Opens capture device `deviceIndex` (V4L2 on Linux), asks for width × height and logs what the
    // device reports. Whether it opened says isOpened().
    Snapshot(int deviceIndex, int width, int height, int jpegQuality);
    // The same over a video file, whose frames stand in for the camera's.
    Snapshot(const QString& videoFile, int width, int height, int jpegQuality);
    // Releases the device. The owner waits for the last snapshot job first.
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    bool isOpened() const;

    // Grabs one frame and writes it as JPEG to `path`, whole or not at all; runs on a pool thread. False
    // when the camera is closed, no frame came or the file could not be written (both logged).
    bool takePicture(const QString& path);
    // The same for a stop-motion frame, but only when no portrait is reading the camera at this moment:
    // false at once (and nothing logged) when the camera is busy, so a frame never holds up a portrait.
    bool takeFrameUnlessBusy(const QString& path);

private:
    void configure(int width, int height);
    bool takeFrame(const QString& path, bool waitForCamera);

    std::unique_ptr<Camera> camera;
};

// Keeps `candidate` as the run's webcam when it opened: makes the run's "DJ portraits" folder, sets
// `portraitDirectory` to its native path and logs success. Otherwise (also for no candidate: the host
// wants no webcam) logs the failure, leaves `portraitDirectory` alone and returns null.
std::unique_ptr<Snapshot> webcamForRun(std::unique_ptr<Snapshot> candidate, QString& portraitDirectory);

// Counts and names the next portrait of a song; "" without a webcam, and then the counter stays.
QString nameNextPortrait(const Snapshot* webcam, int& photoCounter, const QString& artist,
                         const QString& title, bool random);

// Starts the snapshot of folder + fileName on the global thread pool once the previous `job` has finished,
// and keeps the new one in `job`, so jobs never overlap. Without a folder (it could not be made) no photo
// is taken, and that is logged. With `showComment` (a wished song) it also waits
// until the photo is written and returns true: the caller then runs its selection handler, which offers
// the comment entry.
bool startSnapshotJob(Snapshot* webcam, QFuture<void>& job, bool showComment, const QString& folder,
                      const QString& fileName);

} // namespace opencv
