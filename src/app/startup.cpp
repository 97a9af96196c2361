// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

#include "desktop/DesktopLink.h"
#include "desktop/SingleInstance.h"
#include "ui/mainwindowimpl.h"

#include <QApplication>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

void useReadingThreads()
{
    QThreadPool::globalInstance()->setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
}

int runMainWindow()
{
    // Before the window: a second start must not touch the run folder, the log or the sound device.
    SingleInstance instance;
    if (!instance.claim())
        return 0;
    useReadingThreads();
    MainWindow window;
    if (window.initializationFailed())
        return 1;
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     [&window]() { DesktopLink::bringToFront(&window); });
    return QApplication::exec();
}
