// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

class HostGate;
class QUrl;
class QWidget;

// Keeps a kiosk party on its screen: what would open another program on top of it (the manual, the About
// box's links) waits for the host PIN, and a window minimised or covered by another program takes the
// screen back at once. The window manager's own keys (Alt+Tab, its window menu) cannot be taken from it;
// their effect is undone here.
class KioskScreen : public QObject
{
    Q_OBJECT

public:
    // Watches `window`, which must outlive it; `gate` decides whether the host is at the keyboard.
    KioskScreen(QWidget* window, HostGate& gate);

    // How long another program may be in front before the window takes the screen back (tests shorten it).
    void setCoverDelay(int milliseconds) { coverCheck.setInterval(milliseconds); }

public slots:
    // Opens `url` with the desktop's program, in kiosk mode only after the host PIN; the window then
    // leaves the screen to that program until the host comes back to it.
    void openOutside(const QUrl& url);
    void openManual();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool kiosk() const;
    void takeScreenBack(bool fullScreen);
    void uncoverIfCovered();

    QWidget* window = nullptr;
    HostGate& hostGate;
    QTimer coverCheck;
    // The host opened another program with the PIN: it may cover the window until the window is active.
    bool hostAway = false;
    // The log has been told of the window being covered since it was last active.
    bool coverLogged = false;
};
