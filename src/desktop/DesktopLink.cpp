// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/DesktopLink.h"

#include "audio/AllBaseBackend.h"
#include "base/recordtrouble.h"
#include "base/runlog.h"
#include "desktop/IdleInhibitor.h"
#include "desktop/MprisService.h"
#include "desktop/NoticeBanner.h"
#include "desktop/NoticeBoard.h"
#include "desktop/TroubleMark.h"

#include <QKeyEvent>
#include <QStorageInfo>
#include <QTableWidget>
#include <QWidget>

namespace {
// Bright enough to be seen across a room on black and on every genre colour.
const QString buttonFocusRule = QStringLiteral("QPushButton:focus{border:4px solid #ffd84a;}");
const QString cellFocusRule = QStringLiteral("QTableView::item:focus{border:4px solid #ffd84a;}");

void addRule(QWidget* widget, const QString& rule, const char* selector)
{
    QString sheet = widget->styleSheet();
    if (sheet.contains(rule))
        return;
    // Bare declarations cannot stand beside a rule: they become the widget's own.
    if (!sheet.trimmed().isEmpty() && !sheet.contains(QLatin1Char('{')))
        sheet = QLatin1String(selector) + QLatin1Char('{') + sheet + QLatin1Char('}');
    widget->setStyleSheet(sheet + rule);
}
} // namespace

DesktopLink::DesktopLink(QWidget* window, QTableWidget* grid)
    : board(new NoticeBoard(6000, this)), inhibitor(new IdleInhibitor(this)),
      media(new MprisService(&playing, this)), noticeBanner(new NoticeBanner(window, grid, board)),
      mark(new TroubleMark(window, grid))
{
    // The news comes from whichever thread wrote; the board and the mark are this thread's.
    setRecordTroubleListener([this](RunRecord record, bool failing, const QString& reason) {
        QMetaObject::invokeMethod(
            this, [this, record, failing, reason]() { recordTrouble(int(record), failing, reason); },
            Qt::QueuedConnection);
    });
    connect(&playing, &NowPlaying::statusChanged, this, [this](NowPlaying::Status status) {
        inhibitor->setActive(status == NowPlaying::Status::Playing);
    });
    connect(&playing, &NowPlaying::songChanged, this, &DesktopLink::watchDisk);
    connect(&playing, &NowPlaying::pauseToggleRequested, this, &DesktopLink::pauseToggleRequested);
    connect(media, &MprisService::raiseRequested, this, &DesktopLink::raiseRequested);
}

DesktopLink::~DesktopLink()
{
    setRecordTroubleListener(nullptr);
}

void DesktopLink::recordTrouble(int record, bool failing, const QString& reason)
{
    const unsigned bit = 1U << unsigned(record);
    failingRecords = failing ? failingRecords | bit : failingRecords & ~bit;
    if (failing)
        troubleReason = reason;
    if (failing && record == int(RunRecord::Photos))
        board->post(NoticeBoard::photoNotSavedNotice(reason));
    mark->showTrouble(failingRecords != 0, NoticeBoard::notSavingNotice(troubleReason));
}

void DesktopLink::publish(NowPlaying::Status status, const PlayingSong& song)
{
    playing.update(status, song);
}

void DesktopLink::setPositionSource(std::function<qint64()> source)
{
    playing.setPositionSource(std::move(source));
}

void DesktopLink::watchDisk()
{
    const QString folder = runFolder();
    if (folder.isEmpty())
        return;
    const bool full = diskNearlyFull(QStorageInfo(folder).bytesAvailable());
    if (full && !diskFullShown)
        board->post(NoticeBoard::diskFullNotice());
    diskFullShown = full;
}

void DesktopLink::chainKeyboard(QTableWidget* grid, const QVector<QWidget*>& controls)
{
    keyboardPath.clear();
    for (QWidget* control : QVector<QWidget*>{grid} + controls) {
        if (auto* table = qobject_cast<QTableView*>(control)) {
            // Arrow keys move inside a table; Tab leaves it.
            table->setTabKeyNavigation(false);
            if (table != grid)
                table->setFocusPolicy(Qt::StrongFocus);
            addRule(table, cellFocusRule, "QTableView");
        } else {
            addRule(control, buttonFocusRule, "QPushButton");
        }
        keyboardPath << control;
    }
    for (const QPointer<QWidget>& widget : qAsConst(keyboardPath))
        widget->installEventFilter(this);
}

bool DesktopLink::eventFilter(QObject* watched, QEvent* event)
{
    // The genre buttons form an exclusive group, in which Qt lets Tab reach only the checked button;
    // the party's path visits every one, so Tab is walked here.
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool forward = key->key() == Qt::Key_Tab && !(key->modifiers() & ~Qt::KeypadModifier);
    const bool backward =
        key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && key->modifiers() == Qt::ShiftModifier);
    const int at = keyboardPath.indexOf(qobject_cast<QWidget*>(watched));
    if ((!forward && !backward) || at < 0)
        return QObject::eventFilter(watched, event);
    const int count = keyboardPath.size();
    for (int step = 1; step < count; ++step) {
        QWidget* next = keyboardPath.at((at + (forward ? step : count - step)) % count);
        if (next && next->isVisible() && next->isEnabled()) {
            next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return true;
}

void DesktopLink::showSoundDeviceNews(const AllBaseBackend* backend)
{
    if (!backend)
        return;
    NoticeBoard* notices = board;
    connect(
        backend, &AllBaseBackend::deviceLost, board,
        [notices]() { notices->post(NoticeBoard::deviceLostNotice()); }, Qt::QueuedConnection);
    connect(
        backend, &AllBaseBackend::deviceBack, board,
        [notices]() { notices->post(NoticeBoard::deviceBackNotice()); }, Qt::QueuedConnection);
}

void DesktopLink::bringToFront(QWidget* window)
{
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}
