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
bool waitForClosingStart(SingleInstance& instance, const QStringList& paths)
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
        claimed = instance.claim(paths, 200);
        if (claimed || !instance.otherIsClosing())
            waiting.reset();
    });
    retry.start();
    waiting.exec();
    return claimed;
}

} // namespace

int runMainWindow(const QStringList& paths)
{
    // Before the window: a second start must not touch the run folder, the log or the sound device.
    SingleInstance instance;
    if (!instance.claim(paths)) {
        if (!instance.otherIsClosing())
            return 0;
        if (!waitForClosingStart(instance, paths))
            return instance.otherIsClosing() ? 1 : 0;
    }
    useReadingThreads();
    // The start-up may ask questions (the webcam, the sound) while later starts hand over their songs.
    QStringList waiting = paths;
    const QMetaObject::Connection early =
        QObject::connect(&instance, &SingleInstance::pathsHandedOver,
                         [&waiting](const QStringList& handed) { waiting << handed; });
    MainWindow window;
    QObject::disconnect(early);
    if (window.initializationFailed())
        return 1;
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     [&window]() { DesktopLink::bringToFront(&window); });
    // Queued: in kiosk mode adding asks for the PIN, a dialog that must not open inside the socket's read.
    QObject::connect(
        &instance, &SingleInstance::pathsHandedOver, &window,
        [&window](const QStringList& handed) { window.songAdder()->addEntries(handed); },
        Qt::QueuedConnection);
    if (!waiting.isEmpty())
        QTimer::singleShot(0, &window, [&window, waiting]() { window.songAdder()->addEntries(waiting); });
    return QApplication::exec();
}
