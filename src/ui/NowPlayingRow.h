// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

class HostGate;
class NowPlaying;
class PlayingCellDelegate;
struct PlayingClock;
class QLabel;
class QSettings;
class QShortcut;
class QTableWidget;
class Track;

// The queue row as the room sees it: the playing song's cell counts down what is left of it and fills a
// bar along its edge, a pause shows as a large "Paused" over the whole row, and the host's volume (+ and -,
// the keypad's too, or the desktop's media controls) shows there for two seconds. Lives on the GUI thread.
//
// Each second only the playing cell is painted again, and only when its time or its bar has moved.
class NowPlayingRow : public QObject
{
    Q_OBJECT

public:
    // How long a volume change stays shown.
    static constexpr int volumeNoticeMilliseconds = 2000;

    // Reads the stored volume and applies it to the sound and the desktop at once. `gate` asks for the host
    // PIN in kiosk mode before the keys change the volume.
    NowPlayingRow(QTableWidget* queueRow, HostGate& gate, QSettings* settings, NowPlaying& nowPlaying);
    ~NowPlayingRow() override;
    NowPlayingRow(const NowPlayingRow&) = delete;
    NowPlayingRow& operator=(const NowPlayingRow&) = delete;

    // What plays now (null: nothing) and whether it is paused: its clock from the sound device's count of
    // what it has played, and the pause over the row.
    void showHead(const Track* head, bool paused);

    // The playing cell's clock as last painted.
    const PlayingClock& clock() const;

    int volume() const { return percent; }
    // Sets, stores and shows the volume (0 to 100, clamped); the host's keys come here once the gate let
    // them through.
    void setVolume(int volume);
    // What the row shows over its cells now, or "" when nothing.
    QString overlayText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void stepVolume(int steps);
    // The desktop asks for a volume: refused in kiosk mode, where it cannot ask for the PIN.
    void desktopVolume(int volume);
    // Shows the volume notice while it lasts, else the pause, else nothing.
    void showOverlay();
    void repaintPlayingCell();

    QTableWidget* row = nullptr;
    HostGate& hostGate;
    QSettings* settings = nullptr;
    NowPlaying& playing;
    PlayingCellDelegate* delegate = nullptr;
    QPointer<QLabel> overlay;
    QTimer volumeNotice;
    std::vector<std::unique_ptr<QShortcut>> volumeKeys;
    const Track* shownHead = nullptr;
    bool paused = false;
    int percent = 100;
};
