// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/NoticeBoard.h"

NoticeBoard::NoticeBoard(int showMilliseconds, QObject* parent) : QObject(parent)
{
    timer.setSingleShot(true);
    timer.setInterval(showMilliseconds);
    connect(&timer, &QTimer::timeout, this, &NoticeBoard::showNext);
}

void NoticeBoard::post(const QString& text)
{
    if (text.isEmpty() || text == shown || queue.contains(text))
        return;
    queue.append(text);
    if (!timer.isActive())
        showNext();
}

void NoticeBoard::showNext()
{
    shown = queue.isEmpty() ? QString() : queue.takeFirst();
    if (!shown.isEmpty())
        timer.start();
    emit changed(shown);
}

QString NoticeBoard::addingNotice(int added, int duplicates, int unreadable, int unreadableFolders)
{
    if (unreadableFolders != 0)
        return tr("%L1 songs added — %L2 duplicates, %L3 unreadable, %L4 folders that cannot be read (see "
                  "the "
                  "log)")
            .arg(added)
            .arg(duplicates)
            .arg(unreadable)
            .arg(unreadableFolders);
    if (duplicates == 0 && unreadable == 0)
        return QString();
    return tr("%L1 songs added — %L2 duplicates, %L3 unreadable (see the log)")
        .arg(added)
        .arg(duplicates)
        .arg(unreadable);
}

QString NoticeBoard::noWebcamNotice()
{
    return tr("No webcam found: photos are off");
}

QString NoticeBoard::unplayableNotice(const QString& artist, const QString& title)
{
    return tr("\"%1 – %2\" could not be played and is skipped (see the log)").arg(artist, title);
}

QString NoticeBoard::deviceLostNotice()
{
    return tr("The sound device was lost: Vimo waits for it to come back");
}

QString NoticeBoard::deviceBackNotice()
{
    return tr("The sound device is back");
}

QString NoticeBoard::diskFullNotice()
{
    return tr("The disk is full: photos, playlist and log can no longer be saved");
}

QString NoticeBoard::photoNotSavedNotice(const QString& reason)
{
    return tr("A photo could not be saved: %1").arg(reason);
}

QString NoticeBoard::notSavingNotice(const QString& reason)
{
    return tr("Photos, playlist or log cannot be saved: %1").arg(reason);
}

bool diskNearlyFull(qint64 bytesAvailable)
{
    // A song's photo is a few hundred kilobytes and the playlist and log grow by lines; below this a
    // whole evening's photos no longer fit.
    constexpr qint64 reserve = 50LL * 1024 * 1024;
    return bytesAvailable >= 0 && bytesAvailable < reserve;
}
