// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowsupport.h"

#include "base/runlog.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/PlayQueue.h"
#include "queuesupport.h"
#include "testsupport.h"
#include "ui/mainwindowimpl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTableWidget>
#include <QTest>
#include <QThreadPool>

namespace vimotest {

std::unique_ptr<MainWindow> openMainWindow()
{
    whenModalAppears([](QWidget* modal) {
        if (auto* question = qobject_cast<QMessageBox*>(modal))
            question->button(QMessageBox::No)->click();
    });
    auto window = std::make_unique<MainWindow>();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get()))
        qWarning("main window did not become active");
    return window;
}

std::unique_ptr<MainWindow> openMainWindowWithSongs(const QString& folder)
{
    auto window = openMainWindow();
    const LogMark mark;
    window->addFolder(QDir(folder));
    if (!mark.waitForJobEnds())
        qWarning("the songs of %s did not arrive", qPrintable(folder));
    // Lets the layout place the genre buttons and the pause button that the job's end has shown.
    QApplication::processEvents();
    return window;
}

namespace {
QByteArray logBytes()
{
    QFile log(logFilePath());
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}
} // namespace

LogMark::LogMark() : offset(logBytes().size()) {}

QString LogMark::text() const
{
    return QString::fromUtf8(logBytes().mid(offset));
}

QStringList LogMark::messages() const
{
    static const QString separator = QStringLiteral("\t::\t");
    QStringList found;
    for (const QString& line : text().split(QLatin1Char('\n'))) {
        const int at = line.indexOf(separator);
        if (at >= 0)
            found << line.mid(at + separator.size());
    }
    return found;
}

bool LogMark::waitForJobEnds(int count, int timeoutMs) const
{
    return QTest::qWaitFor(
        [this, count]() {
            return messages()
                       .filter(QRegularExpression(QStringLiteral("^Adding of files has (finished|been "
                                                                 "cancelled by the user)\\.$")))
                       .size() >= count;
        },
        timeoutMs);
}

PoolGate::PoolGate()
    : gate(std::make_shared<QSemaphore>()), threads(QThreadPool::globalInstance()->maxThreadCount())
{
    auto started = std::make_shared<QSemaphore>();
    for (int thread = 0; thread < threads; ++thread)
        QThreadPool::globalInstance()->start([gate = gate, started]() {
            started->release();
            gate->acquire();
        });
    started->acquire(threads);
}

PoolGate::~PoolGate()
{
    open();
}

void PoolGate::open()
{
    if (opened)
        return;
    opened = true;
    gate->release(threads);
}

PartyWindow::PartyWindow() : window(openMainWindow())
{
    grid = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForLibrary"));
    queueRow = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForQueue"));
    // Counted after the window has handled each end (its own connection came first).
    ends = std::make_unique<SignalCounter>(window.get(), &MainWindow::notifyFromBaseThread);
    logStart = QFileInfo(logFilePath()).size();
    playlistStart = QFileInfo(playlistPath()).size();
}

PartyWindow::~PartyWindow() = default;

bool PartyWindow::add(const QString& folder, int songs)
{
    window->addFolder(QDir(folder));
    const bool added = QTest::qWaitFor(
        [&] { return !window->isAdding() && library() && this->songs().size() == songs; }, 30000);
    QApplication::processEvents();
    return added;
}

TrackLibrary* PartyWindow::library() const
{
    return window->trackLibrary();
}

PlayQueue* PartyWindow::queue() const
{
    return window->queue();
}

QList<Track*> PartyWindow::songs() const
{
    QList<Track*> all;
    if (library())
        library()->forEachTrack([&all](Track* track) { all << track; });
    return all;
}

Track* PartyWindow::titled(const QString& title) const
{
    for (Track* track : songs())
        if (track->title() == title)
            return track;
    return nullptr;
}

QTableWidgetItem* PartyWindow::cellOf(const Track* track) const
{
    const QList<QTableWidgetItem*> cells = grid->findItems(track->displayText(), Qt::MatchFixedString);
    return cells.size() == 1 ? cells.first() : nullptr;
}

Track* PartyWindow::head() const
{
    return queue()->queuedSongs().value(0);
}

void PartyWindow::wish(const Track* track)
{
    if (QTableWidgetItem* cell = cellOf(track))
        emit grid->itemActivated(cell);
}

QString PartyWindow::playlistPath() const
{
    return queue()->playlistPath();
}

QString PartyWindow::playlist() const
{
    return textAfter(playlistPath(), playlistStart);
}

QStringList PartyWindow::lines() const
{
    return numberedPlaylistLines(playlist());
}

QStringList PartyWindow::log() const
{
    return logMessagesAfter(logStart);
}

bool PartyWindow::logged(const QString& text) const
{
    return !log().filter(text).isEmpty();
}

} // namespace vimotest
