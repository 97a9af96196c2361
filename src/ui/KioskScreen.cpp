// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/KioskScreen.h"

#include "base/runlog.h"
#include "party/KioskGuard.h"
#include "ui/About.h"
#include "ui/HostGate.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QThread>
#include <QUrl>
#include <QWidget>
#include <QWindowStateChangeEvent>

namespace {
// Our own dialogs take the activation for a moment; only what stays in front this long covers the party.
// While the window is not active it looks again at this pace, as a host's dialog may have ended meanwhile.
const int coverMilliseconds = 300;
} // namespace

KioskScreen::KioskScreen(QWidget* watched, HostGate& gate) : window(watched), hostGate(gate)
{
    coverCheck.setInterval(coverMilliseconds);
    connect(&coverCheck, &QTimer::timeout, this, &KioskScreen::uncoverIfCovered);
    window->installEventFilter(this);
}

bool KioskScreen::kiosk() const
{
    return hostGate.guard().kiosk();
}

void KioskScreen::openOutside(const QUrl& url)
{
    if (!hostGate.mayAct())
        return;
    hostAway = kiosk();
    QDesktopServices::openUrl(url);
}

void KioskScreen::openManual()
{
    openOutside(QUrl::fromLocalFile(manualPath()));
}

bool KioskScreen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window)
        return false;
    switch (event->type()) {
    case QEvent::WindowActivate:
        hostAway = false;
        coverLogged = false;
        coverCheck.stop();
        break;
    case QEvent::WindowDeactivate:
        if (kiosk() && !hostAway)
            coverCheck.start();
        break;
    case QEvent::WindowStateChange:
        if (kiosk() && !hostAway && window->isMinimized()) {
            const bool fullScreen =
                static_cast<QWindowStateChangeEvent*>(event)->oldState().testFlag(Qt::WindowFullScreen);
            // The window manager is still in the middle of iconifying: undo it once that is through.
            QTimer::singleShot(0, this, [this, fullScreen]() { takeScreenBack(fullScreen); });
        }
        break;
    default:
        break;
    }
    return false;
}

void KioskScreen::takeScreenBack(bool fullScreen)
{
    if (!window->isMinimized())
        return;
    logMessage(QCoreApplication::translate(
        "KioskScreen", "Kiosk mode: the window was minimised and takes the screen back."));
    if (fullScreen)
        window->showFullScreen();
    else
        window->showNormal();
    window->raise();
    window->activateWindow();
}

void KioskScreen::uncoverIfCovered()
{
    if (!kiosk()) {
        coverCheck.stop();
        return;
    }
    // Another of our own windows in front (a prompt, a dialog, the photo) is still the party.
    if (hostAway || QApplication::activeWindow() || !window->isVisible())
        return;
    // A host action's dialog runs in a loop of its own, and the desktop's folder dialog is no window of
    // ours: the host, having typed the PIN, works there. Only the PIN prompt's loop is a guest's.
    if (QThread::currentThread()->loopLevel() > 1 && !hostGate.prompt())
        return;
    // A window manager may refuse to hand the focus over: keep asking, but say it once.
    if (!coverLogged)
        logMessage(QCoreApplication::translate(
            "KioskScreen", "Kiosk mode: another program covered the window, which takes the screen back."));
    coverLogged = true;
    window->raise();
    window->activateWindow();
}
