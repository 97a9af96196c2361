// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

// Short notices for the guests and the host: what failed, in one line, shown one after the other for a
// few seconds each. The board keeps the texts and the timing; a widget shows them. Lives on the GUI
// thread: news from other threads reaches whoever owns the board as queued signals first.
class NoticeBoard : public QObject
{
    Q_OBJECT

public:
    explicit NoticeBoard(int showMilliseconds = 6000, QObject* parent = nullptr);

    // Shows the text now, or after the notices before it; a text already shown or waiting is not
    // repeated.
    void post(const QString& text);
    QString current() const { return shown; }
    QStringList waiting() const { return queue; }

    // The texts of the notices.
    static QString addingNotice(int added, int duplicates, int unreadable, int unreadableFolders = 0);
    static QString noWebcamNotice();
    static QString unplayableNotice(const QString& artist, const QString& title);
    static QString deviceLostNotice();
    static QString deviceBackNotice();
    static QString diskFullNotice();
    static QString photoNotSavedNotice(const QString& reason);
    static QString notSavingNotice(const QString& reason);

signals:
    // The text to show now; "" when nothing is to be shown.
    void changed(const QString& text);

private:
    void showNext();

    QTimer timer;
    QString shown;
    QStringList queue;
};

// Whether so little room is left where the run writes that photos and the playlist may be lost.
bool diskNearlyFull(qint64 bytesAvailable);
