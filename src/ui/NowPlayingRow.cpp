// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/NowPlayingRow.h"

#include "audio/AudioEngine.h"
#include "audio/Foreigner.h"
#include "base/runlog.h"
#include "desktop/NowPlaying.h"
#include "library/Track.h"
#include "party/KioskGuard.h"
#include "party/playingclock.h"
#include "party/volumesetting.h"
#include "ui/HostGate.h"
#include "ui/PlayingCellDelegate.h"

#include <QEvent>
#include <QLabel>
#include <QShortcut>
#include <QTableWidget>

NowPlayingRow::NowPlayingRow(QTableWidget* queueRow, HostGate& gate, QSettings* store, NowPlaying& nowPlaying)
    : row(queueRow), hostGate(gate), settings(store), playing(nowPlaying),
      delegate(new PlayingCellDelegate(queueRow)), overlay(new QLabel(queueRow))
{
    row->setItemDelegateForColumn(0, delegate);
    overlay->setAlignment(Qt::AlignCenter);
    overlay->setAttribute(Qt::WA_TransparentForMouseEvents);
    overlay->setStyleSheet(QStringLiteral("background-color: rgba(0, 0, 0, 170); color: white;"));
    overlay->hide();
    row->installEventFilter(this);
    volumeNotice.setSingleShot(true);
    volumeNotice.setInterval(volumeNoticeMilliseconds);
    connect(&volumeNotice, &QTimer::timeout, this, &NowPlayingRow::showOverlay);

    // The number pad's + and - reach these too: a key with the keypad modifier that no shortcut takes is
    // matched again without it.
    QWidget* window = row->window();
    for (const int key : {int(Qt::Key_Plus), int(Qt::Key_Minus)}) {
        auto shortcut = std::make_unique<QShortcut>(QKeySequence(key), window);
        connect(shortcut.get(), &QShortcut::activated, this,
                [this, key]() { stepVolume(key == Qt::Key_Plus ? 1 : -1); });
        volumeKeys.push_back(std::move(shortcut));
    }
    connect(&playing, &NowPlaying::volumeRequested, this, &NowPlayingRow::desktopVolume);

    percent = volumesetting::read(settings);
    AudioEngine::instance().setVolume(percent);
    playing.setVolume(percent);
}

NowPlayingRow::~NowPlayingRow()
{
    if (row)
        row->removeEventFilter(this);
    delete overlay.data();
}

void NowPlayingRow::showHead(const Track* head, bool isPaused)
{
    shownHead = head;
    const Foreigner* player = head && head->playing() ? head->player() : nullptr;
    const PlayingClock clock =
        player ? playingClock(head->seconds(), player->playedMilliseconds()) : PlayingClock();
    if (clock != delegate->clock()) {
        delegate->setClock(clock);
        repaintPlayingCell();
    }
    if (isPaused != paused) {
        paused = isPaused;
        showOverlay();
    }
}

const PlayingClock& NowPlayingRow::clock() const
{
    return delegate->clock();
}

void NowPlayingRow::setVolume(int volume)
{
    percent = std::clamp(volume, 0, volumesetting::loudest);
    AudioEngine::instance().setVolume(percent);
    volumesetting::store(settings, percent);
    playing.setVolume(percent);
    volumeNotice.start();
    showOverlay();
}

QString NowPlayingRow::overlayText() const
{
    return overlay && overlay->isVisible() ? overlay->text() : QString();
}

bool NowPlayingRow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == row && event->type() == QEvent::Resize && overlay->isVisible())
        showOverlay();
    return QObject::eventFilter(watched, event);
}

void NowPlayingRow::stepVolume(int steps)
{
    if (hostGate.mayAct())
        setVolume(percent + steps * volumesetting::step);
}

void NowPlayingRow::desktopVolume(int volume)
{
    if (hostGate.guard().kiosk()) {
        logMessage(tr("Kiosk mode: the desktop's volume change was refused."));
        // The desktop's slider goes back to the volume that plays.
        playing.setVolume(percent);
        return;
    }
    setVolume(volume);
}

void NowPlayingRow::showOverlay()
{
    QString text;
    if (volumeNotice.isActive())
        text = tr("Volume %1 %").arg(percent);
    else if (paused)
        text = tr("Paused");
    if (text.isEmpty()) {
        overlay->hide();
        return;
    }
    QFont large = row->font();
    large.setPixelSize(std::max(12, row->height() * 11 / 20));
    large.setBold(true);
    overlay->setFont(large);
    overlay->setText(text);
    overlay->setGeometry(row->rect());
    overlay->show();
    overlay->raise();
}

void NowPlayingRow::repaintPlayingCell()
{
    if (QTableWidgetItem* cell = row->item(0, 0))
        row->viewport()->update(row->visualItemRect(cell));
}
