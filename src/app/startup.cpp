// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

#include "desktop/DesktopLink.h"
#include "desktop/SingleInstance.h"
#include "ui/mainwindowimpl.h"

#include <QApplication>
#include <QProgressDialog>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstdio>

void useReadingThreads()
{
    QThreadPool::globalInstance()->setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
}

namespace {

// A start that finds another one closing says so, on standard error and on the screen, and takes over
// once it has gone; true then. False when the user gave up waiting or the other start answered after all
// (it was only busy, and is in front now).
bool waitForClosingStart(SingleInstance& instance)
{
    std::fprintf(stderr, "%s\n", qPrintable(SingleInstance::waitingText()));
    QProgressDialog waiting;
    waiting.setWindowTitle(QStringLiteral("Vimo"));
    waiting.setLabelText(SingleInstance::waitingText());
    waiting.setRange(0, 0);
    QTimer retry;
    retry.setInterval(250);
    bool claimed = false;
    QObject::connect(&retry, &QTimer::timeout, &waiting, [&]() {
        claimed = instance.claim(200);
        if (claimed || !instance.otherIsClosing())
            waiting.reset();
    });
    retry.start();
    waiting.exec();
    return claimed;
}

} // namespace

int runMainWindow()
{
    // Before the window: a second start must not touch the run folder, the log or the sound device.
    SingleInstance instance;
    if (!instance.claim()) {
        if (!instance.otherIsClosing())
            return 0;
        if (!waitForClosingStart(instance))
            return instance.otherIsClosing() ? 1 : 0;
    }
    useReadingThreads();
    MainWindow window;
    if (window.initializationFailed())
        return 1;
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     [&window]() { DesktopLink::bringToFront(&window); });
    return QApplication::exec();
}
