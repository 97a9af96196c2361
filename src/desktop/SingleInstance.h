// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

// One jukebox per user: the first start listens on a local socket; a later start finds it there, hands
// over the folders and songs it was started with, asks the running one to bring its window to the front
// and ends, so two windows never write the same log and playlist.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // `name` picks the socket; the default is the program's, one per user and home folder.
    explicit SingleInstance(const QString& name = defaultName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // True for the first start (this one now answers later starts), false when another start runs and
    // has been handed `paths` (absolute) and asked to come to the front, or has not answered within
    // `answerMilliseconds`.
    bool claim(const QStringList& paths = {}, int answerMilliseconds = 3000);
    // After a false claim(): the other start took the request but did not answer, as a start that is
    // closing does (its window is gone, its socket not yet). Claim again until it has gone.
    bool otherIsClosing() const { return otherClosing; }

    static QString defaultName();
    // What a start that waits for a closing one says, on standard error and on the screen.
    static QString waitingText();

signals:
    // A later start wants the window in front.
    void activationRequested();
    // A later start was given these folders and songs to add (after its activationRequested()).
    void pathsHandedOver(const QStringList& paths);

private:
    void answerLaterStart();

    QString name;
    QLocalServer* server = nullptr;
    bool otherClosing = false;
};
