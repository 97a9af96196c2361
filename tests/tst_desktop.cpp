// SPDX-License-Identifier: GPL-3.0-or-later
// The window as part of the desktop: the screen kept awake while music plays, the media player on the
// session bus, one jukebox per user, notices that keep off the grid's focus, the keyboard path, and text
// that high-DPI scaling never cuts. The suite runs a session bus of its own, which also stands in for the
// system bus, with fake screen-saver and logind services on it.

#include "audio/AudioEngine.h"
#include "base/recordtrouble.h"
#include "base/runlog.h"
#include "base/settings.h"
#include "base/version.h"
#include "desktop/DesktopLink.h"
#include "desktop/IdleInhibitor.h"
#include "desktop/MprisPlayerAdaptor.h"
#include "desktop/MprisService.h"
#include "desktop/NoticeBanner.h"
#include "desktop/NoticeBoard.h"
#include "desktop/NowPlaying.h"
#include "desktop/SingleInstance.h"
#include "desktop/TroubleMark.h"
#include "desktop/highdpi.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/KioskGuard.h"
#include "party/PlayQueue.h"
#include "testsupport.h"
#include "ui/About.h"
#include "ui/HostGate.h"
#include "ui/NowPlayingRow.h"
#include "ui/mainwindowimpl.h"
#include "ui_about.h"
#include "windowsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocalServer>
#include <QMessageBox>
#include <QMutex>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <poll.h>
#include <unistd.h>

namespace {

const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

QString fixture(const QString& path)
{
    return vimotest::fixturesDirectory() + QLatin1Char('/') + path;
}

// The desktop's screen saver, as far as a player sees it.
class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QStringList calls;

public slots:
    uint Inhibit(const QString& application, const QString& reason)
    {
        calls << QStringLiteral("Inhibit ") + application +
                     (reason.isEmpty() ? QStringLiteral(" without reason") : QString());
        return ++cookie;
    }
    void UnInhibit(uint released) { calls << QStringLiteral("UnInhibit ") + QString::number(released); }

private:
    uint cookie = 41;
};

// logind's inhibitor: a lock is the write end of a pipe, held as long as the caller keeps it open. It
// answers from a thread of its own, as the real one answers from its own process: the program's sleep
// lock is asked for with a call that waits.
class FakeLogind : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~FakeLogind() override
    {
        for (const int end : qAsConst(readEnds))
            ::close(end);
    }
    QStringList kinds() const
    {
        QMutexLocker lock(&mutex);
        return asked;
    }
    // Whether every copy of the lock asked for as `kind` has been closed.
    bool released(const QString& kind) const
    {
        QMutexLocker lock(&mutex);
        pollfd watch{readEnds.value(asked.indexOf(kind), -1), POLLIN, 0};
        if (watch.fd < 0 || ::poll(&watch, 1, 0) != 1)
            return false;
        char byte = 0;
        return ::read(watch.fd, &byte, 1) == 0;
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode)
    {
        Q_UNUSED(who)
        Q_UNUSED(why)
        int ends[2] = {-1, -1};
        if (::pipe(ends) != 0)
            return QDBusUnixFileDescriptor();
        const QDBusUnixFileDescriptor lock(ends[1]); // a copy goes to the caller
        ::close(ends[1]);
        QMutexLocker locked(&mutex);
        // A lock asked for again is told apart by its count.
        QString kind = what + QLatin1Char(' ') + mode;
        if (asked.contains(kind))
            kind += QLatin1Char(' ') + QString::number(asked.count() + 1);
        asked << kind;
        readEnds << ends[0];
        return lock;
    }

private:
    mutable QMutex mutex;
    QStringList asked;
    QList<int> readEnds;
};

// The track id of every Metadata and every volume the player announced to the bus, in order.
class AnnouncedTracks : public QObject
{
    Q_OBJECT

public:
    QStringList ids;
    QList<double> volumes;

public slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
    {
        if (interface == playerInterface && changed.contains(QStringLiteral("Volume")))
            volumes << changed.value(QStringLiteral("Volume")).toDouble();
        if (interface != playerInterface || !changed.contains(QStringLiteral("Metadata")))
            return;
        const QVariantMap metadata = qdbus_cast<QVariantMap>(changed.value(QStringLiteral("Metadata")));
        ids << metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    }
};

// A connection of its own, so the services and the client reach the player through the bus as
// another program would.
QDBusConnection connection(const QString& name, const QByteArray& addressVariable)
{
    return QDBusConnection::connectToBus(QString::fromLocal8Bit(qgetenv(addressVariable.constData())), name);
}

QDBusMessage callPlayer(QDBusConnection& client, const QString& interface, const QString& method,
                        const QVariantList& arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(MprisService::serviceName, MprisService::objectPath,
                                                       interface, method);
    call.setArguments(arguments);
    // The player answers from this thread: the call waits with the event loop running.
    return client.call(call, QDBus::BlockWithGui);
}

QVariant playerProperty(QDBusConnection& client, const QString& interface, const QString& name)
{
    const QDBusMessage reply = callPlayer(client, QStringLiteral("org.freedesktop.DBus.Properties"),
                                          QStringLiteral("Get"), {interface, name});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

QVariantMap playerMetadata(QDBusConnection& client)
{
    return qdbus_cast<QVariantMap>(playerProperty(client, playerInterface, QStringLiteral("Metadata")));
}

QTableWidget* widgetTable(const MainWindow& window, const char* name)
{
    return window.findChild<QTableWidget*>(QLatin1String(name));
}

QTableWidgetItem* cellTitled(QTableWidget* grid, const QString& title)
{
    for (int row = 0; row < grid->rowCount(); ++row)
        for (int column = 0; column < grid->columnCount(); ++column)
            if (QTableWidgetItem* cell = grid->item(row, column);
                cell && cell->text().endsWith(QLatin1Char('\n') + title))
                return cell;
    return nullptr;
}

QString accessibleText(QObject* object, QAccessible::Text which)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(which) : QString();
}

// ---- Text at every scale, measured in a child process started with QT_SCALE_FACTOR ----

// Whether `text` laid out as the widget lays it out (wrapped at words) fits `room` in `font`.
bool textFits(const QFont& font, const QRect& room, const QString& text, int flags)
{
    const QFontMetrics metrics(font);
    const QRect needed = metrics.boundingRect(QRect(0, 0, room.width(), 100000), flags, text);
    return needed.width() <= room.width() && needed.height() <= room.height();
}

// One line per text the window shows: "<what>\t<fits 0|1>".
int measureWindow(const QStringList& arguments)
{
    const int width = arguments.value(0).toInt();
    const int height = arguments.value(1).toInt();
    auto window = vimotest::openMainWindowWithSongs(fixture(QStringLiteral("desktop/screens")));
    window->resize(width, height);
    QApplication::processEvents();
    QTableWidget* grid = widgetTable(*window, "myTableWidgetForLibrary");
    QTableWidget* queueRow = widgetTable(*window, "myTableWidgetForQueue");
    // A party: three songs in the queue, the About box open.
    for (const QString& title : {QStringLiteral("Garage Thunder"), QStringLiteral("Midnight Grid"),
                                 QStringLiteral("Sonata in Paper")})
        emit grid->itemActivated(cellTitled(grid, title));
    window->aboutBox();
    QApplication::processEvents();

    QTextStream out(stdout);
    const auto report = [&out](const QString& what, bool fits) { out << what << '\t' << int(fits) << '\n'; };
    const auto cells = [&report](const QString& table, QTableWidget* view) {
        const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        for (int row = 0; row < view->rowCount(); ++row)
            for (int column = 0; column < view->columnCount(); ++column) {
                const QTableWidgetItem* cell = view->item(row, column);
                if (!cell || cell->text().isEmpty())
                    continue;
                const QRect room = view->visualItemRect(cell).adjusted(margin, 0, -margin, 0);
                report(table + QLatin1Char(' ') + cell->text().replace(QLatin1Char('\n'), QLatin1Char('/')),
                       textFits(cell->font(), room, cell->text(), Qt::AlignCenter | Qt::TextWordWrap));
            }
    };
    cells(QStringLiteral("grid"), grid);
    cells(QStringLiteral("queue"), queueRow);
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (!button->isVisible() || button->text().isEmpty())
            continue;
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        report(QStringLiteral("button ") + button->text().replace(QLatin1Char('\n'), QLatin1Char('/')),
               textFits(button->font(), room, button->text(), Qt::AlignCenter));
    }
    if (About* about = window->aboutDialogShown()) {
        // The box and its buttons stay on the screen, whatever its size and scale.
        const QRect screen = about->screen()->availableGeometry();
        report(QStringLiteral("about box on the screen"), screen.contains(about->frameGeometry()));
        for (QPushButton* button : about->findChildren<QPushButton*>())
            report(QStringLiteral("about button on the screen ") + button->objectName(),
                   screen.contains(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())));
        for (QLabel* label : about->findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue;
            const QSize needed = label->minimumSizeHint();
            report(QStringLiteral("about ") + label->objectName(),
                   needed.width() <= label->width() && needed.height() <= label->height());
        }
    }
    out.flush();
    return 0;
}

QMap<QString, bool> measureAt(const QSize& size, double factor)
{
    qputenv("QT_SCALE_FACTOR", QByteArray::number(factor));
    QString output;
    const int code = vimotest::runChild(
        {QStringLiteral("measure"), QString::number(size.width()), QString::number(size.height())}, &output);
    qunsetenv("QT_SCALE_FACTOR");
    QMap<QString, bool> fits;
    if (code != 0)
        return fits;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const int tab = line.lastIndexOf(QLatin1Char('\t'));
        if (tab > 0)
            fits.insert(line.left(tab), line.mid(tab + 1) == QLatin1String("1"));
    }
    return fits;
}

// Draws the manual's pictures of the main window and the About box (scripts/make-manual-images):
// arguments: the output folder, the song folder, width, height, the names of the pictures wanted.
int drawManualImages(const QStringList& arguments)
{
    const QDir out(arguments.value(0));
    const QSize size(arguments.value(2).toInt(), arguments.value(3).toInt());
    const QStringList wanted = arguments.mid(4);
    bool written = true;
    const auto save = [&](const QString& name, QWidget* widget) {
        if (!wanted.contains(name))
            return;
        QApplication::processEvents();
        written = widget->grab().save(out.filePath(name + QStringLiteral(".png"))) && written;
    };
    auto window = vimotest::openMainWindow();
    window->resize(size);
    QApplication::processEvents();
    save(QStringLiteral("main-empty"), window.get());

    const vimotest::LogMark mark;
    window->addFolder(QDir(arguments.value(1)));
    if (!mark.waitForJobEnds())
        return 1;
    QApplication::processEvents();
    QTableWidget* grid = widgetTable(*window, "myTableWidgetForLibrary");
    for (const QString& title : {QStringLiteral("Midnight Grid"), QStringLiteral("Paper Planes"),
                                 QStringLiteral("Garage Thunder"), QStringLiteral("Café au lait")})
        if (QTableWidgetItem* cell = cellTitled(grid, title))
            emit grid->itemActivated(cell);
    window->desktopLink()->notices().post(NoticeBoard::addingNotice(3412, 50, 70));
    save(QStringLiteral("main-party"), window.get());
    // What a guest reads: where a song's cell is in the picture, in the screen's own pixels, and how high its
    // text is there.
    if (const QTableWidgetItem* cell = cellTitled(grid, QStringLiteral("Paper Planes"))) {
        const qreal ratio = window->devicePixelRatioF();
        const QRect place(grid->viewport()->mapTo(window.get(), grid->visualItemRect(cell).topLeft()),
                          grid->visualItemRect(cell).size());
        const QFontMetricsF metrics(cell->font(), grid);
        QTextStream(stdout) << "cell " << place.x() * ratio << ',' << place.y() * ratio << ' '
                            << place.width() * ratio << 'x' << place.height() * ratio << " font "
                            << cell->font().pointSizeF() << " pt, em "
                            << cell->font().pointSizeF() * grid->logicalDpiY() / 72 * ratio << ", line "
                            << metrics.lineSpacing() * ratio << ", capital " << metrics.capHeight() * ratio
                            << '\n';
    }
    save(QStringLiteral("main-party-200"), window.get());

    for (QAbstractButton* button : window->genreFilterButtons())
        if (button->text() == QLatin1String("Rock"))
            button->click();
    save(QStringLiteral("main-genre"), window.get());

    window->aboutBox();
    if (About* about = window->aboutDialogShown())
        save(QStringLiteral("about-box"), about);
    return written ? 0 : 1;
}

int claimAgain(const QStringList& arguments)
{
    SingleInstance instance(arguments.value(0));
    if (instance.claim())
        return 0;
    return instance.otherIsClosing() ? 4 : 3;
}

int child(const QStringList& arguments)
{
    if (arguments.value(0) == QLatin1String("measure"))
        return measureWindow(arguments.mid(1));
    if (arguments.value(0) == QLatin1String("claim"))
        return claimAgain(arguments.mid(1));
    if (arguments.value(0) == QLatin1String("manual-images"))
        return drawManualImages(arguments.mid(1));
    return 2;
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

    // Claims `name` in a child process while this one goes on answering: 0 claimed, 3 the running start
    // came to the front, 4 it did not answer.
    static int claimInChild(const QString& name)
    {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), QStringLiteral("claim"), name});
        if (!QTest::qWaitFor([&child] { return child.state() == QProcess::NotRunning; }, 30000)) {
            child.kill();
            child.waitForFinished();
            return -1;
        }
        return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "the suite's own session bus is missing");
    }

    void idleInhibitionAndMediaPlayerFollowPlayback()
    {
        FakeScreenSaver saver;
        QDBusConnection saverBus = connection(QStringLiteral("screensaver"), "DBUS_SESSION_BUS_ADDRESS");
        QVERIFY(saverBus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver,
                                        QDBusConnection::ExportAllSlots));
        QVERIFY(saverBus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
        QThread logindThread;
        FakeLogind logind;
        logind.moveToThread(&logindThread);
        logindThread.start();
        const auto stopThread = qScopeGuard([&logindThread]() {
            logindThread.quit();
            logindThread.wait();
        });
        QDBusConnection logindBus = connection(QStringLiteral("logind"), "DBUS_SYSTEM_BUS_ADDRESS");
        QVERIFY(logindBus.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind,
                                         QDBusConnection::ExportAllSlots));
        QVERIFY(logindBus.registerService(QStringLiteral("org.freedesktop.login1")));
        QDBusConnection client = connection(QStringLiteral("client"), "DBUS_SESSION_BUS_ADDRESS");

        auto window = vimotest::openMainWindowWithSongs(fixture(QStringLiteral("queue/wishes")));
        QVERIFY(window->trackLibrary());
        QTableWidget* grid = widgetTable(*window, "myTableWidgetForLibrary");
        auto* pause = window->findChild<QPushButton*>(QStringLiteral("myButtonPause"));

        // Nothing plays yet: the screen may blank, the desktop sees a stopped player.
        QCOMPARE(playerProperty(client, QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Identity"))
                     .toString(),
                 QStringLiteral("Vimo"));
        QCOMPARE(
            playerProperty(client, QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("DesktopEntry"))
                .toString(),
            QStringLiteral("example.talvoren.vimo"));
        QCOMPARE(playerProperty(client, playerInterface, QStringLiteral("PlaybackStatus")).toString(),
                 QStringLiteral("Stopped"));
        QCOMPARE(playerProperty(client, playerInterface, QStringLiteral("CanGoNext")).toBool(), false);
        QCOMPARE(playerProperty(client, playerInterface, QStringLiteral("CanGoPrevious")).toBool(), false);
        // The host's volume, full at first; the desktop may set it, and in kiosk mode it may not.
        QCOMPARE(playerProperty(client, playerInterface, QStringLiteral("Volume")).toDouble(), 1.0);
        AnnouncedTracks announced;
        QVERIFY(client.connect(MprisService::serviceName, MprisService::objectPath,
                               QStringLiteral("org.freedesktop.DBus.Properties"),
                               QStringLiteral("PropertiesChanged"), &announced,
                               SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
        const auto setVolume = [&client](double volume) {
            return callPlayer(client, QStringLiteral("org.freedesktop.DBus.Properties"),
                              QStringLiteral("Set"),
                              {playerInterface, QStringLiteral("Volume"),
                               QVariant::fromValue(QDBusVariant(QVariant(volume)))})
                .type();
        };
        QVERIFY(setVolume(0.25) != QDBusMessage::ErrorMessage);
        QCOMPARE(playerProperty(client, playerInterface, QStringLiteral("Volume")).toDouble(), 0.25);
        QCOMPARE(AudioEngine::instance().volume(), 25);
        QCOMPARE(settingsStore()->value(QStringLiteral("Audio/Volume")).toInt(), 25);
        QTRY_COMPARE(announced.volumes, QList<double>{0.25});
        window->gate()->guard().setKiosk(true);
        setVolume(0.75);
        QTRY_COMPARE(announced.volumes, (QList<double>{0.25, 0.25}));
        QCOMPARE(playerProperty(client, playerInterface, QStringLiteral("Volume")).toDouble(), 0.25);
        window->gate()->guard().setKiosk(false);
        // The host's key is heard by the desktop as well.
        QApplication::setActiveWindow(window.get());
        QTest::keyClick(window.get(), Qt::Key_Plus, Qt::KeypadModifier);
        QTRY_COMPARE(announced.volumes, (QList<double>{0.25, 0.25, 0.3}));
        QCOMPARE(window->nowPlayingRow()->overlayText(), QStringLiteral("Volume 30 %"));
        QTest::keyClick(window.get(), Qt::Key_Minus);
        QTest::keyClick(window.get(), Qt::Key_Minus);
        QCOMPARE(window->nowPlayingRow()->volume(), 20);
        window->nowPlayingRow()->setVolume(100);
        // What the desktop reads of the interfaces: only MPRIS's own members, and what may not be set
        // says so.
        const QString introspection =
            callPlayer(client, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                       QStringLiteral("Introspect"))
                .arguments()
                .value(0)
                .toString();
        QVERIFY2(introspection.contains(
                     QStringLiteral(R"(<property name="Volume" type="d" access="readwrite"/>)")),
                 qPrintable(introspection));
        QVERIFY2(introspection.contains(
                     QStringLiteral(R"(<property name="PlaybackStatus" type="s" access="read"/>)")),
                 qPrintable(introspection));
        QVERIFY2(!introspection.contains(QStringLiteral("raiseRequested")), qPrintable(introspection));
        QVERIFY(saver.calls.isEmpty());
        // Nothing plays: the screen may blank and the machine may sleep.
        QVERIFY(logind.kinds().isEmpty());

        QTableWidgetItem* endless = cellTitled(grid, QStringLiteral("Endless Road"));
        QVERIFY(endless);
        emit grid->itemActivated(endless);
        const Track* song = window->queue()->queuedSongs().value(0);
        QVERIFY(song && song->playing());
        QTRY_COMPARE(saver.calls, QStringList{QStringLiteral("Inhibit Vimo")});
        QTRY_COMPARE(logind.kinds(), QStringList{QStringLiteral("sleep:idle block")});
        QVERIFY(!logind.released(QStringLiteral("sleep:idle block")));
        QCOMPARE(playerProperty(client, playerInterface, QStringLiteral("PlaybackStatus")).toString(),
                 QStringLiteral("Playing"));
        // The song's start is announced with its own track id, never first as no track at all.
        const QString trackPrefix = QStringLiteral("/org/mpris/MediaPlayer2/vimo/track/");
        QTRY_VERIFY(!announced.ids.isEmpty());
        for (const QString& id : qAsConst(announced.ids))
            QVERIFY2(id.startsWith(trackPrefix), qPrintable(announced.ids.join(QLatin1Char(' '))));
        const QVariantMap metadata = playerMetadata(client);
        QCOMPARE(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Endless Road"));
        QCOMPARE(metadata.value(QStringLiteral("xesam:artist")).toStringList(),
                 QStringList{QStringLiteral("Long Player")});
        QCOMPARE(metadata.value(QStringLiteral("xesam:album")).toString(), QStringLiteral("Open Highway"));
        QCOMPARE(metadata.value(QStringLiteral("mpris:length")).toLongLong(), qint64(song->seconds() * 1e6));
        QVERIFY(metadata.value(QStringLiteral("mpris:trackid"))
                    .value<QDBusObjectPath>()
                    .path()
                    .startsWith(trackPrefix));
        QVERIFY(!metadata.contains(QStringLiteral("mpris:artUrl"))); // no webcam, no portrait

        // Media keys do what the Pause button does, and the screen may blank while the music rests.
        QVERIFY(callPlayer(client, playerInterface, QStringLiteral("PlayPause")).type() !=
                QDBusMessage::ErrorMessage);
        QTRY_VERIFY(window->isPaused());
        QVERIFY(pause->isChecked());
        QCOMPARE(playerProperty(client, playerInterface, QStringLiteral("PlaybackStatus")).toString(),
                 QStringLiteral("Paused"));
        QTRY_COMPARE(saver.calls,
                     (QStringList{QStringLiteral("Inhibit Vimo"), QStringLiteral("UnInhibit 42")}));
        QTRY_VERIFY(logind.released(QStringLiteral("sleep:idle block")));

        // Pause when paused changes nothing; Play plays on; Next belongs to the guests.
        callPlayer(client, playerInterface, QStringLiteral("Pause"));
        QApplication::processEvents();
        QVERIFY(window->isPaused());
        callPlayer(client, playerInterface, QStringLiteral("Play"));
        QTRY_VERIFY(!window->isPaused());
        QVERIFY(!pause->isChecked());
        QTRY_COMPARE(saver.calls.size(), 3);
        QCOMPARE(saver.calls.last(), QStringLiteral("Inhibit Vimo"));
        QTRY_COMPARE(logind.kinds().size(), 2);
        callPlayer(client, playerInterface, QStringLiteral("Next"));
        QApplication::processEvents();
        QCOMPARE(window->queue()->queuedSongs().value(0), song);
        // A desktop's stop button does not silence the party, and says so.
        const QDBusMessage stop = callPlayer(client, playerInterface, QStringLiteral("Stop"));
        QCOMPARE(stop.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(stop.errorName(), QStringLiteral("org.freedesktop.DBus.Error.NotSupported"));
        QApplication::processEvents();
        QVERIFY(!window->isPaused());
        QCOMPARE(window->queue()->queuedSongs().value(0), song);
        QCOMPARE(playerProperty(client, playerInterface, QStringLiteral("PlaybackStatus")).toString(),
                 QStringLiteral("Playing"));
        // The desktop's media widget brings the party back to the front.
        window->showMinimized();
        QVERIFY(
            callPlayer(client, QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Raise")).type() !=
            QDBusMessage::ErrorMessage);
        QTRY_VERIFY(!window->isMinimized());

        // The window goes: the player leaves the bus and the screen is free again.
        QTRY_VERIFY(window->desktopLink()->idleInhibitor().holdsScreenSaver());
        QTRY_VERIFY(window->desktopLink()->idleInhibitor().holdsLogind());
        window.reset();
        QTRY_COMPARE(saver.calls.size(), 4);
        QCOMPARE(saver.calls.last(), QStringLiteral("UnInhibit 43"));
        QTRY_VERIFY(logind.released(QStringLiteral("sleep:idle block 2")));
        QVERIFY(!client.interface()->isServiceRegistered(MprisService::serviceName).value());
    }

    // The desktop's picture of the song is the guest's portrait once it is on the disk, else the song's
    // cover, else none.
    void mediaPlayerArtIsThePortraitElseTheCover()
    {
        QObject exported;
        NowPlaying playing;
        const MprisPlayerAdaptor adaptor(&exported, &playing);
        const auto art = [&adaptor]() {
            return adaptor.metadata()
                .value(QStringLiteral("mpris:artUrl"), QStringLiteral("none"))
                .toString();
        };
        QTemporaryDir folder;
        PlayingSong song;
        song.title = QStringLiteral("Art");
        song.number = 1;
        song.portraitPath = folder.filePath(QStringLiteral("portrait.jpg"));
        playing.update(NowPlaying::Status::Playing, song);
        QCOMPARE(art(), QStringLiteral("none"));
        song.coverPath = folder.filePath(QStringLiteral("cover-1.jpg"));
        playing.update(NowPlaying::Status::Playing, song);
        QCOMPARE(art(), QUrl::fromLocalFile(song.coverPath).toString());
        QFile portrait(song.portraitPath);
        QVERIFY(portrait.open(QIODevice::WriteOnly) && portrait.write("jpeg") == 4);
        portrait.close();
        playing.update(NowPlaying::Status::Playing, song);
        QCOMPARE(art(), QUrl::fromLocalFile(song.portraitPath).toString());
    }

    void noticesKeepOffTheGridAndTheQueue()
    {
        // The host wants photos, but there is no camera.
        QSettings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"))
            .setValue(QStringLiteral("Webcam/DirectX Device ID"), 99);
        vimotest::whenModalAppears([](QWidget* modal) {
            if (auto* question = qobject_cast<QMessageBox*>(modal))
                question->button(QMessageBox::Yes)->click();
        });
        auto window = std::make_unique<MainWindow>();
        QSettings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"))
            .setValue(QStringLiteral("Webcam/DirectX Device ID"), 0);
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QVERIFY(!window->hasWebcam());
        const NoticeBanner& banner = window->desktopLink()->banner();
        const NoticeBoard& board = window->desktopLink()->notices();
        QTRY_VERIFY(banner.isVisible());
        QCOMPARE(banner.text(), QStringLiteral("No webcam found: photos are off"));

        // Two songs, a second file of one of them, a file without tags and a text file; then a wish whose
        // file has gone.
        QTemporaryDir folder;
        const QDir mixed(fixture(QStringLiteral("adding/mixed")));
        for (const QString& name : mixed.entryList(QDir::Files))
            QVERIFY(QFile::copy(mixed.filePath(name), QDir(folder.path()).filePath(name)));
        const vimotest::LogMark mark;
        window->addFolder(QDir(folder.path()));
        QVERIFY(mark.waitForJobEnds());
        QApplication::processEvents();
        QTableWidget* grid = widgetTable(*window, "myTableWidgetForLibrary");
        QTableWidget* queueRow = widgetTable(*window, "myTableWidgetForQueue");
        QVERIFY(QFile::remove(QDir(folder.path()).filePath(QStringLiteral("m-1.mp3"))));
        emit grid->itemActivated(cellTitled(grid, QStringLiteral("One")));
        window->desktopLink()->notices().post(NoticeBoard::deviceLostNotice());
        window->desktopLink()->notices().post(NoticeBoard::deviceLostNotice());
        QTRY_COMPARE(
            board.waiting(),
            (QStringList{QStringLiteral("2 songs added — 1 duplicates, 2 unreadable (see the log)"),
                         QStringLiteral("\"Mixer – One\" could not be played and is skipped (see the log)"),
                         NoticeBoard::deviceLostNotice()}));

        // None of them takes the keyboard from the grid or covers the queue; they leave by themselves.
        QCOMPARE(QApplication::focusWidget(), grid);
        const QRect shown(banner.mapTo(window.get(), QPoint(0, 0)), banner.size());
        QVERIFY(!shown.intersects(QRect(queueRow->mapTo(window.get(), QPoint(0, 0)), queueRow->size())));
        QVERIFY(QRect(grid->mapTo(window.get(), QPoint(0, 0)), grid->size()).contains(shown));
        QTRY_COMPARE_WITH_TIMEOUT(banner.text(), NoticeBoard::deviceLostNotice(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!banner.isVisible(), 30000);
        QCOMPARE(QApplication::focusWidget(), grid);

        // "See the log": the About box says where it is.
        window->aboutBox();
        QVERIFY(window->aboutDialogShown());
        QVERIFY(window->aboutDialogShown()->form().label_4_manual->text().contains(
            QDir::toNativeSeparators(logFilePath()).toHtmlEscaped()));
        window->aboutBox();
    }

    // While a record of the run cannot be written a mark stays in the grid's corner, told from the thread
    // that wrote; a photo that could not be saved is a notice too. Writing again takes the mark away.
    void aRecordThatCannotBeWrittenKeepsAMarkUntilItWorksAgain_data()
    {
        QTest::addColumn<int>("record");
        QTest::addColumn<bool>("notice");
        QTest::newRow("photos") << int(RunRecord::Photos) << true;
        QTest::newRow("playlist") << int(RunRecord::Playlist) << false;
        QTest::newRow("log") << int(RunRecord::Log) << false;
    }
    void aRecordThatCannotBeWrittenKeepsAMarkUntilItWorksAgain()
    {
        QFETCH(int, record);
        QFETCH(bool, notice);
        QWidget window;
        auto* grid = new QTableWidget(4, 4, &window);
        grid->setGeometry(0, 40, 400, 300);
        DesktopLink link(&window, grid);
        window.resize(400, 340);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto writeFrom = [record](bool written) {
            std::unique_ptr<QThread> writer(QThread::create([record, written]() {
                noteRecordWritten(RunRecord(record), written, QStringLiteral("No space left on device"));
            }));
            writer->start();
            writer->wait();
        };
        writeFrom(false);
        QTRY_VERIFY(link.troubleMark().isVisible());
        QVERIFY(
            link.troubleMark().accessibleDescription().endsWith(QStringLiteral("No space left on device")));
        const QRect shown(link.troubleMark().mapTo(&window, QPoint(0, 0)), link.troubleMark().size());
        QVERIFY(QRect(grid->mapTo(&window, QPoint(0, 0)), grid->size()).contains(shown));
        const QString photoNotice =
            NoticeBoard::photoNotSavedNotice(QStringLiteral("No space left on device"));
        QCOMPARE(link.notices().current() == photoNotice, notice);
        // Another failure keeps the mark and repeats nothing; it stays until a write works again.
        writeFrom(false);
        QTest::qWait(50);
        QVERIFY(link.troubleMark().isVisible());
        QVERIFY(link.notices().waiting().isEmpty());
        writeFrom(true);
        QTRY_VERIFY(!link.troubleMark().isVisible());
    }

    void keyboardReachesEveryControlAndNamesIt()
    {
        auto window = vimotest::openMainWindowWithSongs(fixture(QStringLiteral("queue/party")));
        QTableWidget* grid = widgetTable(*window, "myTableWidgetForLibrary");
        const std::vector<QAbstractButton*>& genres = window->genreFilterButtons();
        QCOMPARE(int(genres.size()), 3); // All genres, Rock, Pop
        auto* pause = window->findChild<QPushButton*>(QStringLiteral("myButtonPause"));
        auto* about = window->findChild<QPushButton*>(QStringLiteral("aboutButton"));
        QList<QWidget*> path{grid};
        for (QAbstractButton* genre : genres)
            path << genre;
        QTableWidget* queueRow = widgetTable(*window, "myTableWidgetForQueue");
        path << pause << about << queueRow << grid;

        grid->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), grid);
        // The current cell of the grid in focus wears the frame.
        const QImage drawn = grid->grab().toImage();
        const QRect current = grid->visualRect(grid->currentIndex());
        QCOMPARE(drawn.pixelColor(current.topLeft() + QPoint(1, 1)), QColor(0xffd84a));
        // Arrow keys stay inside the grid.
        const QModelIndex before = grid->currentIndex();
        QTest::keyClick(grid, Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget(), grid);
        QVERIFY(grid->currentIndex() != before);
        for (int step = 1; step < path.size(); ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), path.at(step));
        }
        for (int step = path.size() - 2; step >= 0; --step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            QCOMPARE(QApplication::focusWidget(), path.at(step));
        }
        // Every control has a name and says what it does; the frame of the focus is drawn by the sheet.
        for (QWidget* control : path) {
            QVERIFY2(!accessibleText(control, QAccessible::Name).isEmpty(),
                     qPrintable(control->objectName()));
            QVERIFY2(!accessibleText(control, QAccessible::Description).isEmpty(),
                     qPrintable(control->objectName()));
            QVERIFY(control->styleSheet().contains(QStringLiteral(":focus{border:4px solid")));
        }
        QCOMPARE(accessibleText(about, QAccessible::Name), QStringLiteral("About Vimo"));

        // A cell says its song's state in words.
        QTableWidgetItem* first = cellTitled(grid, QStringLiteral("Morning Tide"));
        QTableWidgetItem* second = cellTitled(grid, QStringLiteral("Copper Sky"));
        QCOMPARE(first->data(Qt::AccessibleDescriptionRole).toString(), QStringLiteral("free to wish"));
        emit grid->itemActivated(first);
        emit grid->itemActivated(second);
        QCOMPARE(
            cellTitled(grid, QStringLiteral("Morning Tide"))->data(Qt::AccessibleDescriptionRole).toString(),
            QStringLiteral("playing"));
        QCOMPARE(
            cellTitled(grid, QStringLiteral("Copper Sky"))->data(Qt::AccessibleDescriptionRole).toString(),
            QStringLiteral("waiting at position 1"));
        QCOMPARE(queueRow->item(0, 1)->data(Qt::AccessibleDescriptionRole).toString(),
                 QStringLiteral("waiting at position 1"));

        // The keyboard takes a wish back as a click and Delete do: Tab to the queue, an arrow to the wish.
        about->setFocus();
        QTest::keyClick(about, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), queueRow);
        queueRow->setCurrentCell(0, 0);
        QTest::keyClick(queueRow, Qt::Key_Right);
        QTest::keyClick(queueRow, Qt::Key_Delete);
        QCOMPARE(window->queue()->queuedSongs().size(), 1);
        QCOMPARE(
            cellTitled(grid, QStringLiteral("Copper Sky"))->data(Qt::AccessibleDescriptionRole).toString(),
            QStringLiteral("free to wish"));
    }

    void secondStartHandsOverToTheFirst()
    {
        auto window = vimotest::openMainWindow();
        const QString name = QDir(vimotest::homeDirectory()).filePath(QStringLiteral("instance"));
        SingleInstance first(name);
        QVERIFY(first.claim());
        QObject::connect(&first, &SingleInstance::activationRequested, window.get(),
                         [&window]() { DesktopLink::bringToFront(window.get()); });
        QSignalSpy activations(&first, &SingleInstance::activationRequested);
        window->showMinimized();
        const vimotest::LogMark mark;

        QCOMPARE(claimInChild(name), 3);
        QTRY_COMPARE(activations.count(), 1);
        QVERIFY(!window->isMinimized());
        QCOMPARE(mark.messages(),
                 QStringList{QStringLiteral(
                     "Vimo was started a second time; the running window was brought to the front.")});

        // A socket left behind by a start that ended without cleaning up does not stop the next one.
        const QString stale = name + QStringLiteral("-stale");
        QFile leftOver(stale);
        QVERIFY(leftOver.open(QIODevice::WriteOnly));
        leftOver.close();
        QCOMPARE(vimotest::runChild({QStringLiteral("claim"), stale}), 0);

        // A first start whose window has closed keeps its socket until it has gone, but answers no more:
        // the next start knows it waits for a closing one, and takes over once the socket is gone.
        const QString closing = name + QStringLiteral("-closing");
        auto closingFirst = std::make_unique<QLocalServer>();
        QVERIFY(closingFirst->listen(closing));
        QCOMPARE(claimInChild(closing), 4);
        closingFirst.reset();
        QCOMPARE(claimInChild(closing), 0);
    }

    void laterStartOfTheProgramAnswersOrHandsOver_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed");
        // Below the working folder of the later start.
        QTest::addColumn<QStringList>("handedOver");
        const QStringList none;
        QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0
                              << QStringLiteral("[options] [folders or songs...]") << none;
        QTest::newRow("version") << QStringList{QStringLiteral("-v")} << 0
                                 << QStringLiteral("Vimo ") + programVersionText() + QLatin1Char('\n')
                                 << none;
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--shuffle"), QStringLiteral("party")}
                                        << 2 << QStringLiteral("vimo: Unknown option 'shuffle'.") << none;
        QTest::newRow("nothing to add") << none << 0 << QString() << none;
        QTest::newRow("folders and songs, relative")
            << QStringList{QStringLiteral("party"), QStringLiteral("./party/../single song.mp3"),
                           QStringLiteral("gone.mp3"), QStringLiteral("two\nlines.mp3")}
            << 0 << QStringLiteral("vimo: no such folder or file: gone.mp3")
            << QStringList{QStringLiteral("party"), QStringLiteral("single song.mp3"),
                           QStringLiteral("two\nlines.mp3")};
    }

    void laterStartOfTheProgramAnswersOrHandsOver()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        QFETCH(QStringList, handedOver);
        // The running party, as the program itself finds it.
        SingleInstance running;
        QVERIFY(running.claim());
        QSignalSpy activations(&running, &SingleInstance::activationRequested);
        QSignalSpy handed(&running, &SingleInstance::pathsHandedOver);
        QTemporaryDir here;
        const QDir folder(here.path());
        QVERIFY(folder.mkdir(QStringLiteral("party")));
        for (const QString& name : {QStringLiteral("single song.mp3"), QStringLiteral("two\nlines.mp3")}) {
            QFile song(folder.filePath(name));
            QVERIFY(song.open(QIODevice::WriteOnly));
        }

        QProcess later;
        later.setWorkingDirectory(here.path());
        later.start(QString::fromLocal8Bit(qgetenv("VIMO_BINARY_DIR")) + QStringLiteral("/vimo"), arguments);
        QVERIFY(later.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(later.state() == QProcess::NotRunning, 30000);
        QCOMPARE(later.exitStatus(), QProcess::NormalExit);
        QCOMPARE(later.exitCode(), exitCode);
        const QString output =
            QString::fromLocal8Bit(later.readAllStandardOutput() + later.readAllStandardError());
        QVERIFY2(output.contains(printed), qPrintable(output));

        // An answer on the terminal leaves the party alone; a start hands over what it got, absolute.
        const bool answered = arguments.value(0).startsWith(QLatin1Char('-'));
        QTest::qWait(answered ? 300 : 0);
        QTRY_COMPARE(activations.count(), answered ? 0 : 1);
        QStringList expected;
        for (const QString& path : handedOver)
            expected << folder.filePath(path);
        QTRY_COMPARE(handed.count(), expected.isEmpty() ? 0 : 1);
        if (!expected.isEmpty())
            QCOMPARE(handed.first().first().toStringList(), expected);
    }

    // A box laid out larger than the screen wraps its texts and scrolls them, its buttons below in reach.
    void everyDialogFitsItsScreen()
    {
        fitEveryDialogToItsScreen();
        QDialog box;
        auto* layout = new QVBoxLayout(&box);
        QString words;
        for (int word = 0; word < 400; ++word)
            words += QStringLiteral("acknowledgement ");
        layout->addWidget(new QLabel(words));
        auto* logo = new QLabel;
        logo->setMinimumSize(300, 500);
        layout->addWidget(logo);
        auto* buttons = new QHBoxLayout;
        auto* ok = new QPushButton(QStringLiteral("OK"));
        buttons->addStretch();
        buttons->addWidget(ok);
        layout->addLayout(buttons);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QRect screen = box.screen()->availableGeometry();
        QVERIFY2(screen.contains(box.frameGeometry()),
                 qPrintable(QStringLiteral("%1x%2").arg(box.width()).arg(box.height())));
        QVERIFY(box.rect().contains(QRect(ok->mapTo(&box, QPoint(0, 0)), ok->size())));
        QVERIFY(box.findChild<QScrollArea*>());
    }

    void textFitsAtEveryScale_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("factor");
        QTest::newRow("laptop at 150 %") << QSize(1280, 800) << 1.5;
        QTest::newRow("laptop at 200 %") << QSize(1280, 800) << 2.0;
        QTest::newRow("full HD at 150 %") << QSize(1920, 1080) << 1.5;
        QTest::newRow("4K television at 200 %") << QSize(1920, 1080) << 2.0;
        QTest::newRow("4K television at 100 %") << QSize(3840, 2160) << 1.0;
    }

    void textFitsAtEveryScale()
    {
        QFETCH(QSize, size);
        QFETCH(double, factor);
        // Each size is measured at 100 % once; the 4K screen at 100 % is held to the full HD one.
        static QMap<QString, QMap<QString, bool>> atOne;
        const QSize baseSize = factor == 1.0 ? QSize(1920, 1080) : size;
        const QString key = QStringLiteral("%1x%2").arg(baseSize.width()).arg(baseSize.height());
        if (!atOne.contains(key))
            atOne.insert(key, measureAt(baseSize, 1.0));
        const QMap<QString, bool> base = atOne.value(key);
        const QMap<QString, bool> scaled = measureAt(size, factor);
        QVERIFY(std::count(base.begin(), base.end(), true) > 20);
        QVERIFY(scaled.size() > 20);
        for (const char* onScreen : {"about box on the screen", "about button on the screen okButton",
                                     "about button on the screen quitButton"})
            QVERIFY2(scaled.value(QLatin1String(onScreen)), onScreen);
        for (auto text = base.begin(); text != base.end(); ++text) {
            if (!text.value())
                continue;
            // The same window at another scale shows the same texts; a larger one may show more buttons.
            if (baseSize != size && !scaled.contains(text.key()))
                continue;
            QVERIFY2(scaled.contains(text.key()), qPrintable(QStringLiteral("not shown: ") + text.key()));
            QVERIFY2(scaled.value(text.key()), qPrintable(QStringLiteral("cut: ") + text.key()));
        }
    }
};

int main(int argc, char** argv)
{
    vimotest::isolateUserDirectories();
    enableHighDpiScaling();
    QApplication application(argc, argv);
    const bool isChild = application.arguments().value(1) == QLatin1String("--child");
    QProcess bus;
    if (!isChild) {
        // A session bus of the suite's own, which stands in for the system bus too; gone with the suite.
        bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                  QStringLiteral("--print-address=1")});
        if (bus.waitForStarted() && bus.waitForReadyRead(10000)) {
            const QByteArray address = bus.readLine().trimmed();
            qputenv("DBUS_SESSION_BUS_ADDRESS", address);
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
        }
    }
    TestDesktop test;
    const int result = vimotest::testMain(argc, argv, &test, child);
    if (!isChild) {
        bus.terminate();
        bus.waitForFinished();
    }
    return result;
}

#include "tst_desktop.moc"
