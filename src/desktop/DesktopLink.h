// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop/NowPlaying.h"

#include <QObject>
#include <QPointer>
#include <QVector>

class AllBaseBackend;
class IdleInhibitor;
class MprisService;
class NoticeBanner;
class NoticeBoard;
class TroubleMark;
class QTableWidget;
class QWidget;

// The window's one adapter to the desktop: it takes the window's playback state and hands it to the
// idle inhibitor and the media player interface, shows the notices over the grid, and keeps the keyboard
// path and the focus frame of the window's controls. The window calls down into it; it reaches the
// window only through the signals below.
class DesktopLink : public QObject
{
    Q_OBJECT

public:
    DesktopLink(QWidget* window, QTableWidget* grid);
    ~DesktopLink() override;

    void publish(NowPlaying::Status status, const PlayingSong& song);
    void setPositionSource(std::function<qint64()> source);

    NowPlaying& nowPlaying() { return playing; }
    NoticeBoard& notices() { return *board; }
    const IdleInhibitor& idleInhibitor() const { return *inhibitor; }
    const MprisService& mpris() const { return *media; }
    const NoticeBanner& banner() const { return *noticeBanner; }
    const TroubleMark& troubleMark() const { return *mark; }

    // Tab and Shift+Tab go round these in order (hidden ones are skipped); each shows a clear frame when
    // it has the focus (a table on its current cell). The controls are buttons and tables.
    void chainKeyboard(QTableWidget* grid, const QVector<QWidget*>& controls);

    // Tells the guests on the board when the sound device is lost and when it is back. The news comes
    // from the device's own thread and is queued to this one.
    void showSoundDeviceNews(const AllBaseBackend* backend);
    // Brings a window to the front, out of the task bar if need be.
    static void bringToFront(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // The desktop (media keys, its media widget) asks for what the Pause button does.
    void pauseToggleRequested();
    void raiseRequested();

private:
    void watchDisk();
    // A record of the run (RunRecord) started failing or works again; on this thread.
    void recordTrouble(int record, bool failing, const QString& reason);

    NowPlaying playing;
    NoticeBoard* board = nullptr;
    IdleInhibitor* inhibitor = nullptr;
    MprisService* media = nullptr;
    NoticeBanner* noticeBanner = nullptr;
    TroubleMark* mark = nullptr;
    bool diskFullShown = false;
    // The records whose writing fails, one bit each, and the latest reason.
    unsigned failingRecords = 0;
    QString troubleReason;
    // The Tab path: the grid first, then the other controls in order.
    QVector<QPointer<QWidget>> keyboardPath;
};
