// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <memory>

class KioskGuard;
class QInputDialog;
class QMessageBox;
class QSettings;
class QString;

// The door to every host action: free outside kiosk mode, behind the host PIN in it. The prompt and the
// lock notice are its own; the guard decides.
//
// What kiosk mode does with each key and action of the window (every way out of the party and every change
// to what it offers asks; what a guest does to wish stays free):
//
// | key or action                                  | in kiosk mode                                        |
// |------------------------------------------------|------------------------------------------------------|
// | Alt+A, the Add Songs button, a dropped folder  | asks (adding songs)                                  |
// | Escape while songs are being added             | asks (cancels the adding)                            |
// | Ctrl+M, the About box's party-mode line        | asks (the mode dialog)                               |
// | Ctrl+N                                         | asks (skips the playing song)                        |
// | Delete on a waiting wish in the queue row      | asks (takes the wish back)                           |
// | Ctrl+P                                         | asks (switches the phones' server)                   |
// | + and - (the keypad's too)                     | asks (changes the volume)                            |
// | the desktop's volume (MPRIS)                   | refused: the desktop cannot ask for the PIN          |
// | F1, the About box's links (manual, web, mail,  | asks (opens another program on top of the party)     |
// |   the log, the libraries' sites)               |                                                      |
// | Ctrl+F out of full screen                      | asks; into full screen it is free                    |
// | the About box's Quit, the window's close       | asks (quitting)                                      |
// | minimise, another window over the party        | refused: the window takes the screen back            |
// | Enter, a click on a song, typing, Tab, genre   | free (wishing and finding songs)                     |
// |   buttons, song history, Pause, the About box  |                                                      |
class HostGate
{
public:
    // How long the prompt and the lock notice wait for a key before they give up.
    static constexpr int promptMilliseconds = 30000;

    explicit HostGate(QSettings* settings);
    ~HostGate();
    HostGate(const HostGate&) = delete;
    HostGate& operator=(const HostGate&) = delete;

    // Asks the kiosk guard before a host action; in kiosk mode that means the host PIN. True: go ahead.
    // The prompt does not block the window: guests keep wishing while it waits. A second host action while
    // it is open only brings it to the front and is refused.
    bool mayAct();
    KioskGuard& guard() const { return *kioskGuard; }

    // Shortens the prompt's patience, so a test need not wait half a minute.
    void setPromptTimeout(int milliseconds) { promptTimeout = milliseconds; }
    // The prompt while it waits for the host, or null.
    QInputDialog* prompt() const;

private:
    // The PIN the host typed, or false when the prompt was cancelled or gave up.
    bool askPin(bool wrong, QString* pin);
    void showLockNotice();

    std::unique_ptr<KioskGuard> kioskGuard;
    // Times the wrong PINs of the guard, steady whatever the wall clock does.
    QElapsedTimer hostClock;
    int promptTimeout = promptMilliseconds;
    QPointer<QInputDialog> openPrompt;
    QPointer<QMessageBox> lockNotice;
};
