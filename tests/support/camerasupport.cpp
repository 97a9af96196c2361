// SPDX-License-Identifier: GPL-3.0-or-later
#include "camerasupport.h"

#include <QFile>
#include <QString>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

namespace vimotest {

bool makeCameraVideo(const QString& path, int frames)
{
    cv::VideoWriter writer(QFile::encodeName(path).toStdString(), cv::CAP_OPENCV_MJPEG,
                           cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 10, cv::Size(64, 48));
    if (!writer.isOpened())
        return false;
    for (int frame = 0; frame < frames; ++frame)
        writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(40 * frame, 90, 160)));
    return true;
}

} // namespace vimotest
