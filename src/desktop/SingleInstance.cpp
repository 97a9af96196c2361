// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/SingleInstance.h"

#include "base/runlog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <memory>
#include <utility>

namespace {
const QByteArray raiseRequest = QByteArrayLiteral("raise\n");
// One line per path before the raise request; percent-encoding keeps a newline in a name (and bytes that
// are no UTF-8) inside its line.
const QByteArray addPrefix = QByteArrayLiteral("add ");
const QByteArray raisedAnswer = QByteArrayLiteral("raised\n");
} // namespace

SingleInstance::SingleInstance(const QString& socketName, QObject* parent) : QObject(parent), name(socketName)
{}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName()
{
    // The runtime folder belongs to the user alone, so another user's party never answers. Two starts
    // clash over the run folder below the home folder: a start with another home is no second start.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    const QByteArray home =
        QCryptographicHash::hash(QFile::encodeName(QDir::homePath()), QCryptographicHash::Sha1).toHex();
    return folder + QStringLiteral("/vimo-") + QString::fromLatin1(home.left(16));
}

QString SingleInstance::waitingText()
{
    return tr("Vimo is still closing; this start waits until it has ended.");
}

bool SingleInstance::claim(const QStringList& paths, int answerMilliseconds)
{
    otherClosing = false;
    QLocalSocket running;
    running.connectToServer(name);
    if (running.waitForConnected(answerMilliseconds)) {
        QByteArray request;
        for (const QString& path : paths)
            request += addPrefix + QFile::encodeName(path).toPercentEncoding() + '\n';
        running.write(request + raiseRequest);
        running.waitForBytesWritten(answerMilliseconds);
        // A start whose window is closing has its socket still, but nobody reads from it any more.
        while (!running.canReadLine() && running.waitForReadyRead(answerMilliseconds)) {
        }
        otherClosing = !running.canReadLine() || running.readLine() != raisedAnswer;
        running.disconnectFromServer();
        if (running.state() != QLocalSocket::UnconnectedState)
            running.waitForDisconnected(answerMilliseconds);
        return false;
    }
    // Nobody answers: what is left there is the socket of a start that ended without cleaning up.
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        QLocalServer::removeServer(name);
        if (!server->listen(name)) {
            // The party goes on; only a second start would open a second window.
            qWarning("Vimo cannot watch for a second start: %s", qPrintable(server->errorString()));
            return true;
        }
    }
    connect(server, &QLocalServer::newConnection, this, &SingleInstance::answerLaterStart);
    return true;
}

void SingleInstance::answerLaterStart()
{
    while (QLocalSocket* later = server->nextPendingConnection()) {
        connect(later, &QLocalSocket::disconnected, later, &QObject::deleteLater);
        auto handed = std::make_shared<QStringList>();
        const auto read = [this, later, handed]() {
            while (later->canReadLine()) {
                const QByteArray line = later->readLine();
                if (line.startsWith(addPrefix) && line.endsWith('\n')) {
                    *handed << QFile::decodeName(
                        QByteArray::fromPercentEncoding(line.mid(addPrefix.size()).chopped(1)));
                    continue;
                }
                if (line != raiseRequest)
                    return;
                // Answered and emptied before anything is emitted: a receiver may wait for the host's PIN in
                // an event loop of its own, in which this connection (and this very function) can be gone.
                later->write(raisedAnswer);
                const QStringList paths = std::exchange(*handed, {});
                logMessage(
                    tr("Vimo was started a second time; the running window was brought to the front."));
                emit activationRequested();
                if (!paths.isEmpty())
                    emit pathsHandedOver(paths);
                return;
            }
        };
        connect(later, &QLocalSocket::readyRead, this, read);
        // The request may have come with the connection itself.
        read();
    }
}
