// SPDX-License-Identifier: GPL-3.0-or-later
#include "camera/Snapshot.h"

#include "base/plaintext.h"
#include "base/recordtrouble.h"
#include "base/runlog.h"
#include "base/wholefile.h"
#include "camera/photonames.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>
#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

namespace opencv {

namespace {

struct PropertyLine
{
    const char* text;
    int property;
    bool fraction;        // written as a double rather than truncated
    bool minusOneUnknown; // -1 means the backend does not know the value
};

const PropertyLine propertyLines[] = {
    {"OpenCV: code of codec: ", cv::CAP_PROP_FOURCC, false, false},
    {"OpenCV: Width of the frames: ", cv::CAP_PROP_FRAME_WIDTH, true, false},
    {"OpenCV: Height of the frames: ", cv::CAP_PROP_FRAME_HEIGHT, true, false},
    {"OpenCV: Frame rate: ", cv::CAP_PROP_FPS, false, false},
    {"OpenCV: Format of the Mat objects returned by retrieve(): ", cv::CAP_PROP_FORMAT, false, true},
    {"OpenCV: Backend-specific value indicating the current capture mode: ", cv::CAP_PROP_MODE, false, true},
    {"OpenCV: Boolean flags indicating whether images should be converted to RGB: ", cv::CAP_PROP_CONVERT_RGB,
     false, true},
    {"OpenCV: Rectification flag for stereo cameras: ", cv::CAP_PROP_RECTIFICATION, false, true},
    {"OpenCV: Brightness of the image: ", cv::CAP_PROP_BRIGHTNESS, false, true},
    {"OpenCV: Contrast of the image: ", cv::CAP_PROP_CONTRAST, false, true},
    {"OpenCV: Saturation of the image: ", cv::CAP_PROP_SATURATION, false, true},
    {"OpenCV: Hue of the image: ", cv::CAP_PROP_HUE, false, true},
    {"OpenCV: Gain of the image: ", cv::CAP_PROP_GAIN, false, true},
    {"OpenCV: Exposure: ", cv::CAP_PROP_EXPOSURE, false, true},
};

// Truncated toward zero and written in full, whatever the backend's value range.
QString integerText(double value)
{
    const double whole = std::trunc(value);
    return QString::number(whole == 0 ? 0.0 : whole, 'f', 0);
}

// OpenCV reports some failures by throwing; the program's own failures are log lines.
template <typename Open> std::unique_ptr<cv::VideoCapture> openCapture(Open open)
{
    try {
        return open();
    } catch (const cv::Exception& error) {
        logMessage(QStringLiteral("OpenCV: ") + QString::fromStdString(error.what()));
        return std::make_unique<cv::VideoCapture>();
    }
}

std::unique_ptr<cv::VideoCapture> openDevice(int deviceIndex)
{
#if defined(__linux__)
    const int backend = cv::CAP_V4L2;
#else
    const int backend = cv::CAP_ANY;
#endif
    return openCapture([=] { return std::make_unique<cv::VideoCapture>(deviceIndex, backend); });
}

std::unique_ptr<cv::VideoCapture> openVideoFile(const QString& videoFile)
{
    const std::string path = QFile::encodeName(videoFile).toStdString();
    return openCapture([&] { return std::make_unique<cv::VideoCapture>(path); });
}

// Encodes the frame in memory and writes it beside the photo's place, renaming it there only when all
// of it was written: a full disk leaves no half photo behind, and the failure is logged.
bool writeJpeg(const cv::Mat& frame, const QString& path, int quality)
{
    std::vector<uchar> jpeg;
    const std::vector<int> parameters{cv::IMWRITE_JPEG_QUALITY, quality};
    if (!cv::imencode(".jpg", frame, jpeg, parameters)) {
        logMessage(QCoreApplication::translate("Snapshot", "The photo \"%1\" could not be encoded.")
                       .arg(oneLineText(path)));
        return false;
    }
    QString error;
    const bool written = writeWholeFile(
        path, QByteArray(reinterpret_cast<const char*>(jpeg.data()), int(jpeg.size())), &error);
    noteRecordWritten(RunRecord::Photos, written, error);
    if (!written)
        logMessage(QCoreApplication::translate("Snapshot", "The photo \"%1\" could not be written: %2")
                       .arg(oneLineText(path), error));
    return written;
}

} // namespace

Camera::Camera(int device, int quality, std::unique_ptr<cv::VideoCapture> openedCapture)
    : deviceIndex(device), opened(openedCapture && openedCapture->isOpened()),
      capture(std::move(openedCapture)), jpegQuality(quality)
{}

Camera::~Camera()
{
    if (opened && capture) {
        capture->release();
        logMessage(QStringLiteral("Released the webcam"));
    }
}

Snapshot::Snapshot(int deviceIndex, int width, int height, int jpegQuality)
    : camera(std::make_unique<Camera>(deviceIndex, jpegQuality, openDevice(deviceIndex)))
{
    configure(width, height);
}

Snapshot::Snapshot(const QString& videoFile, int width, int height, int jpegQuality)
    : camera(std::make_unique<Camera>(-1, jpegQuality, openVideoFile(videoFile)))
{
    configure(width, height);
}

Snapshot::~Snapshot() = default;

bool Snapshot::isOpened() const
{
    return camera && camera->opened;
}

void Snapshot::configure(int width, int height)
{
    if (!camera->opened)
        return;
    cv::VideoCapture& capture = *camera->capture;
    const double previousWidth = capture.get(cv::CAP_PROP_FRAME_WIDTH);
    const double previousHeight = capture.get(cv::CAP_PROP_FRAME_HEIGHT);
    const bool widthTaken = capture.set(cv::CAP_PROP_FRAME_WIDTH, width);
    const bool heightTaken = capture.set(cv::CAP_PROP_FRAME_HEIGHT, height);
    if (!widthTaken || !heightTaken) {
        // A device that refuses one of the two keeps its own size rather than a mix.
        capture.set(cv::CAP_PROP_FRAME_WIDTH, previousWidth);
        capture.set(cv::CAP_PROP_FRAME_HEIGHT, previousHeight);
    }

    for (const PropertyLine& line : propertyLines) {
        const double value = capture.get(line.property);
        if (value == 0 || (line.minusOneUnknown && value == -1))
            continue;
        const QString text = line.fraction ? QString::number(value, 'g', 6) : integerText(value);
        logMessage(QLatin1String(line.text) + text);
    }
}

bool Snapshot::takePicture(const QString& path)
{
    return takeFrame(path, true);
}

bool Snapshot::takeFrameUnlessBusy(const QString& path)
{
    return takeFrame(path, false);
}

bool Snapshot::takeFrame(const QString& path, bool waitForCamera)
{
    if (!camera || !camera->opened)
        return false;
    try {
        cv::Mat frame;
        bool taken = false;
        {
            std::unique_lock<std::mutex> reading(camera->readMutex, std::defer_lock);
            if (waitForCamera)
                reading.lock();
            else if (!reading.try_lock())
                return false;
            const bool grabbed = camera->capture->read(frame);
            const bool retrieved = camera->capture->retrieve(frame, 0);
            taken = frame.data && frame.total() > 0 && (grabbed || retrieved);
        }
        // Encoding and writing need the camera no more: the next reader may have it meanwhile.
        if (taken)
            return writeJpeg(frame, path, camera->jpegQuality);
    } catch (const cv::Exception& error) {
        // An exception must not cross the pool thread into the waiting GUI thread.
        logMessage(QStringLiteral("OpenCV: ") + QString::fromStdString(error.what()));
        return false;
    }
    logMessage(QStringLiteral("Failed to retrieve current frame from webcam"));
    return false;
}

std::unique_ptr<Snapshot> webcamForRun(std::unique_ptr<Snapshot> candidate, QString& portraitDirectory)
{
    if (candidate && candidate->isOpened()) {
        portraitDirectory = QDir::toNativeSeparators(outputSubfolder(QStringLiteral("DJ portraits")));
        logMessage(QCoreApplication::translate("MainWindow", "Webcam was successfully initialized."));
        return candidate;
    }
    logMessage(QCoreApplication::translate("MainWindow", "Webcam initialization failed."));
    return nullptr;
}

QString nameNextPortrait(const Snapshot* webcam, int& photoCounter, const QString& artist,
                         const QString& title, bool random)
{
    if (!webcam)
        return QString();
    return portraitFileName(QDateTime::currentDateTime(), ++photoCounter, artist, title, random);
}

bool startSnapshotJob(Snapshot* webcam, QFuture<void>& job, bool showComment, const QString& folder,
                      const QString& fileName)
{
    if (webcam && webcam->isOpened() && !fileName.isEmpty()) {
        // Without its folder a photo would land in the working folder: it is not taken at all.
        if (folder.isEmpty()) {
            logMessage(QCoreApplication::translate(
                           "Snapshot", "The photo \"%1\" was not taken: there is no folder for the photos.")
                           .arg(oneLineText(fileName)));
        } else {
            job.waitForFinished();
            job = QtConcurrent::run(webcam, &Snapshot::takePicture, folder + fileName);
        }
    }
    if (!showComment)
        return false;
    job.waitForFinished();
    return true;
}

} // namespace opencv
