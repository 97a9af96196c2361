// SPDX-License-Identifier: GPL-3.0-or-later
#include "party/StopMotion.h"

#include "base/runlog.h"
#include "camera/Snapshot.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <utility>

namespace {

QString stopMotionText(const char* text)
{
    return QCoreApplication::translate("StopMotion", text);
}

bool roomFor(const QString& folder, qint64 bytes)
{
    QStorageInfo storage(folder);
    storage.refresh();
    // A volume that tells nothing is not taken for a full one.
    return !storage.isValid() || storage.bytesAvailable() < 0 || storage.bytesAvailable() >= bytes;
}

} // namespace

StopMotion::StopMotion(opencv::Snapshot* webcam, const QString& folder, int seconds,
                       std::function<bool()> portraitBusy, QObject* parent)
    : QObject(parent), camera(webcam), frameFolder(folder), portraitUnderWay(std::move(portraitBusy))
{
    timer.setInterval(qMax(1, seconds) * 1000);
    connect(&timer, &QTimer::timeout, this, &StopMotion::takeFrame);
}

StopMotion::~StopMotion()
{
    timer.stop();
    waitForFrame();
}

void StopMotion::start()
{
    if (!diskFull)
        timer.start();
}

void StopMotion::stop()
{
    timer.stop();
}

void StopMotion::waitForFrame()
{
    frameJob.waitForFinished();
}

void StopMotion::takeFrame()
{
    if (diskFull || !camera || frameFolder.isEmpty() || !frameJob.isFinished())
        return;
    if (portraitUnderWay && portraitUnderWay())
        return;
    if (!roomFor(frameFolder, reserveBytes)) {
        diskFull = true;
        timer.stop();
        logMessage(stopMotionText(QT_TRANSLATE_NOOP(
            "StopMotion", "The disk is nearly full: no more stop-motion frames are taken.")));
        return;
    }
    ++frameNumber;
    const QString path =
        QDir(frameFolder).filePath(QStringLiteral("%1.jpg").arg(frameNumber, 5, 10, QLatin1Char('0')));
    frameJob = QtConcurrent::run(camera, &opencv::Snapshot::takeFrameUnlessBusy, path);
}

PartyFilm writePartyFilm(const QString& frameFolder, const QString& filmPath, double fps)
{
    PartyFilm film;
    QFileInfoList frames = QDir(frameFolder).entryInfoList({QStringLiteral("*.jpg")}, QDir::Files);
    std::sort(frames.begin(), frames.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.completeBaseName().toLongLong() < b.completeBaseName().toLongLong();
    });
    if (frames.isEmpty())
        return film;
    // The film is smaller than its JPEGs at the same quality; their sum is a safe estimate.
    qint64 bytes = 0;
    for (const QFileInfo& frame : frames)
        bytes += frame.size();
    if (!roomFor(QFileInfo(filmPath).absolutePath(), bytes)) {
        logMessage(stopMotionText(
            QT_TRANSLATE_NOOP("StopMotion", "The party film was not made: the disk is too full.")));
        return film;
    }
    try {
        cv::Mat first = cv::imread(QFile::encodeName(frames.first().filePath()).toStdString());
        if (first.empty()) {
            logMessage(stopMotionText(QT_TRANSLATE_NOOP(
                "StopMotion", "The party film was not made: its first frame cannot be read.")));
            return film;
        }
        const std::string path = QFile::encodeName(filmPath).toStdString();
        const cv::Size size = first.size();
        const std::pair<int, const char*> codecs[] = {
            {cv::VideoWriter::fourcc('a', 'v', 'c', '1'), "H.264"},
            {cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), "MJPEG"},
        };
        cv::VideoWriter writer;
        for (const auto& codec : codecs) {
            if (writer.open(path, codec.first, fps, size)) {
                film.codec = QString::fromLatin1(codec.second);
                break;
            }
        }
        if (!writer.isOpened()) {
            logMessage(stopMotionText(QT_TRANSLATE_NOOP(
                "StopMotion", "The party film was not made: no video encoder could write it.")));
            return film;
        }
        for (const QFileInfo& frameFile : frames) {
            cv::Mat frame = cv::imread(QFile::encodeName(frameFile.filePath()).toStdString());
            if (frame.empty())
                continue; // a frame cut short is left out, the film goes on
            if (frame.size() != size)
                cv::resize(frame, frame, size);
            writer.write(frame);
            ++film.frames;
        }
        writer.release();
    } catch (const cv::Exception& error) {
        logMessage(QStringLiteral("OpenCV: ") + QString::fromStdString(error.what()));
        film.frames = 0;
        return film;
    }
    logMessage(
        stopMotionText(QT_TRANSLATE_NOOP("StopMotion", "The party film \"%1\" was made from %2 frames (%3)."))
            .arg(QDir::toNativeSeparators(filmPath))
            .arg(film.frames)
            .arg(film.codec));
    return film;
}
