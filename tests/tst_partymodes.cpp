// SPDX-License-Identifier: GPL-3.0-or-later
// The party modes: what each mode switches on, the host gate's answers and the guard's lock after wrong
// PINs; the mode dialog's first PIN; through the real window the stored mode, the webcam question, kiosk
// mode's host PIN before every host action and every way out, the window taking the screen back, the PIN
// prompt giving up while guests wish on; and the stop-motion frames and film over a stand-in camera.
#include "base/runlog.h"
#include "camera/Snapshot.h"
#include "camerasupport.h"
#include "library/Track.h"
#include "party/KioskGuard.h"
#include "party/PartyMode.h"
#include "party/PlayQueue.h"
#include "party/StopMotion.h"
#include "phones/PhoneDesk.h"
#include "queuesupport.h"
#include "testsupport.h"
#include "ui/About.h"
#include "ui/ConfigDialog.h"
#include "ui/HostGate.h"
#include "ui/KioskScreen.h"
#include "ui/NowPlayingRow.h"
#include "ui/mainwindowimpl.h"
#include "ui/style.h"
#include "ui_about.h"
#include "windowsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSlider>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <functional>
#include <limits>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

namespace {

const QString hostPin = QStringLiteral("1357");

int storedInt(const QString& key)
{
    return QSettings(QStringLiteral("Talvoren"), QStringLiteral("Vimo")).value(key).toInt();
}

void storeMode(int mode, bool withPin)
{
    QSettings settings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
    settings.remove(QStringLiteral("Party"));
    settings.remove(QStringLiteral("Phones"));
    settings.setValue(QStringLiteral("UI/Fullscreen"), 0);
    if (mode >= 0)
        settings.setValue(QStringLiteral("Party/Mode"), mode);
    if (withPin)
        KioskGuard(&settings).setPin(hostPin);
    settings.sync();
}

// Answers the modal dialogs that come up, one after the other, each with its own step.
void answerInTurn(QList<std::function<void(QWidget*)>> steps)
{
    if (steps.isEmpty())
        return;
    const auto step = steps.takeFirst();
    vimotest::whenModalAppears([step, steps](QWidget* modal) {
        answerInTurn(steps);
        step(modal);
    });
}

std::function<void(QWidget*)> typePin(const QString& pin, QStringList* seen)
{
    return [pin, seen](QWidget* modal) {
        *seen << QString::fromLatin1(modal->metaObject()->className());
        if (auto* prompt = qobject_cast<QInputDialog*>(modal)) {
            prompt->setTextValue(pin);
            prompt->accept();
        }
    };
}

std::function<void(QWidget*)> cancel(QStringList* seen)
{
    return [seen](QWidget* modal) {
        *seen << QString::fromLatin1(modal->metaObject()->className());
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        if (auto* configDialog = qobject_cast<ConfigDialog*>(modal))
            configDialog->closeIt();
    };
}

std::unique_ptr<MainWindow> openWindow(QStringList* seen)
{
    // Whatever comes up during the start (the webcam question at most) is noted and answered "No"; the
    // watch ends with the start, so it cannot take a later dialog.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [seen]() {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            *seen << QString::fromLatin1(modal->metaObject()->className());
            if (auto* question = qobject_cast<QMessageBox*>(modal))
                question->button(QMessageBox::No)->click();
        }
    });
    watch.start(20);
    auto window = std::make_unique<MainWindow>();
    watch.stop();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get()))
        qWarning("main window did not become active");
    return window;
}

void dropFolder(MainWindow& window, const QString& folder)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder)});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
}

int countOf(const QStringList& messages, const QString& message)
{
    return int(messages.filter(message).size());
}

// The target of the `index`th link in a label's text.
QString linkOf(const QLabel* label, int index)
{
    QRegularExpressionMatchIterator links =
        QRegularExpression(QStringLiteral("href=\"([^\"]+)\"")).globalMatch(label->text());
    QString link;
    for (int i = 0; i <= index && links.hasNext(); ++i)
        link = links.next().captured(1);
    return link;
}

} // namespace

// Stands in for the desktop's programs: notes every address the window would open outside.
class OpenedOutside : public QObject
{
    Q_OBJECT

public:
    OpenedOutside()
    {
        for (const QString& scheme : schemes())
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~OpenedOutside() override
    {
        for (const QString& scheme : schemes())
            QDesktopServices::unsetUrlHandler(scheme);
    }
    OpenedOutside(const OpenedOutside&) = delete;
    OpenedOutside& operator=(const OpenedOutside&) = delete;
    static QStringList schemes()
    {
        return {QStringLiteral("file"), QStringLiteral("https"), QStringLiteral("mailto")};
    }

    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestPartyModes : public QObject
{
    Q_OBJECT

private slots:
    // What each mode switches on: the host PIN, photos of wishes, stop-motion frames.
    void whatEachModeSwitchesOn_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("kiosk");
        QTest::addColumn<bool>("wishPhotos");
        QTest::addColumn<bool>("stopMotion");
        QTest::newRow("home") << 0 << false << false << false;
        QTest::newRow("unlocked party") << 1 << false << true << true;
        QTest::newRow("no camera") << 2 << true << false << false;
        QTest::newRow("no stop-motion") << 3 << true << true << false;
        QTest::newRow("no wish-photos") << 4 << true << false << true;
        QTest::newRow("Deluxe") << 5 << true << true << true;
    }
    void whatEachModeSwitchesOn()
    {
        QFETCH(int, mode);
        QFETCH(bool, kiosk);
        QFETCH(bool, wishPhotos);
        QFETCH(bool, stopMotion);
        const PartyMode party(mode);
        QCOMPARE(party.kiosk(), kiosk);
        QCOMPARE(party.wishPhotos(), wishPhotos);
        QCOMPARE(party.stopMotion(), stopMotion);
        QCOMPARE(party.camera(), wishPhotos || stopMotion);
    }

    // A first start asks the webcam question as ever and stores "unlocked party"; a mode chosen in the
    // dialog (with its first PIN) is the mode of the next start, and only modes with photos for wishes ask.
    void theModeIsStoredAndDecidesTheWebcamQuestion_data()
    {
        QTest::addColumn<int>("storedMode");
        QTest::addColumn<bool>("asked");
        // A mode that wants the camera says in the log that there is none here; a mode without it does not.
        QTest::addColumn<bool>("webcamMissed");
        QTest::newRow("first start") << -1 << true << true;
        QTest::newRow("home") << 0 << false << false;
        QTest::newRow("no stop-motion") << 3 << true << true;
        QTest::newRow("no wish-photos") << 4 << false << true;
    }

    void theModeIsStoredAndDecidesTheWebcamQuestion()
    {
        QFETCH(int, storedMode);
        QFETCH(bool, asked);
        QFETCH(bool, webcamMissed);
        storeMode(storedMode, PartyMode(storedMode).kiosk());
        QStringList seen;
        const int logBefore = vimotest::readTextFile(logFilePath()).size();
        auto window = openWindow(&seen);
        QCOMPARE(seen, asked ? QStringList{QStringLiteral("QMessageBox")} : QStringList());
        const QString logLines = vimotest::readTextFile(logFilePath()).mid(logBefore);
        QVERIFY2(logLines.contains(QStringLiteral("\t::\tWebcam initialization failed.\n")) == webcamMissed,
                 qPrintable(logLines));
        const int expected = storedMode < 0 ? PartyMode::standard : storedMode;
        QCOMPARE(window->partyMode().index(), expected);
        QCOMPARE(storedInt(QStringLiteral("Party/Mode")), expected);
        QCOMPARE(storedInt(QStringLiteral("Party/StopMotionSeconds")), 20);
        if (storedMode >= 0)
            return;

        // The first start is as before: no PIN for leaving full screen. Then the host picks "Deluxe".
        QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
        QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(!window->isFullscreenMode());
        QString offeredDescription;
        answerInTurn({[&](QWidget* modal) {
            auto* dialog = qobject_cast<ConfigDialog*>(modal);
            QVERIFY(dialog);
            QCOMPARE(dialog->modeSlider()->value(), PartyMode::standard);
            dialog->modeSlider()->setValue(5);
            QVERIFY(dialog->pinField()->isVisible());
            offeredDescription = dialog->description();
            dialog->pinField()->setText(hostPin);
            dialog->pinRepeatField()->setText(hostPin);
            dialog->closeIt();
        }});
        QTest::keyClick(window.get(), Qt::Key_M, Qt::ControlModifier);
        QCOMPARE(offeredDescription, ConfigDialog::modeDescription(5));
        QCOMPARE(window->partyMode().index(), 5);
        window.reset();

        QSettings settings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
        QCOMPARE(settings.value(QStringLiteral("Party/Mode")).toInt(), 5);
        const QByteArray record = settings.value(QStringLiteral("Party/PIN")).toByteArray();
        QVERIFY(record.startsWith("pbkdf2-sha256$"));
        QVERIFY(!record.contains(hostPin.toLatin1()));
        seen.clear();
        window = openWindow(&seen);
        QCOMPARE(seen, QStringList{QStringLiteral("QMessageBox")});
        QCOMPARE(window->partyMode().index(), 5);
    }

    // The gate's answers: free outside kiosk mode without a prompt; in kiosk mode a wrong PIN is asked
    // again (and logged), a cancel says no, the right PIN says yes, and a locked guard says no with a notice.
    void theHostGateAnswers_data()
    {
        QTest::addColumn<bool>("kiosk");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<bool>("mayAct");
        QTest::addColumn<QStringList>("seen");
        const QString prompt = QStringLiteral("QInputDialog");
        QTest::newRow("outside kiosk mode") << false << false << QStringList() << true << QStringList();
        QTest::newRow("right PIN") << true << false << QStringList{hostPin} << true << QStringList{prompt};
        QTest::newRow("wrong PIN, then cancel")
            << true << false << QStringList{QStringLiteral("0000"), QString()} << false
            << QStringList{prompt, prompt};
        QTest::newRow("wrong PIN, then the right one")
            << true << false << QStringList{QStringLiteral("0000"), hostPin} << true
            << QStringList{prompt, prompt};
        QTest::newRow("cancel") << true << false << QStringList{QString()} << false << QStringList{prompt};
        // The lock notice waits for nobody: the gate says no at once and the notice goes by itself.
        QTest::newRow("locked") << true << true << QStringList() << false << QStringList();
    }

    void theHostGateAnswers()
    {
        QFETCH(bool, kiosk);
        QFETCH(bool, locked);
        QFETCH(QStringList, typed);
        QFETCH(bool, mayAct);
        QFETCH(QStringList, seen);
        storeMode(PartyMode::standard, true);
        QSettings settings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
        HostGate gate(&settings);
        gate.guard().setKiosk(kiosk);
        for (int wrong = 0; locked && wrong < KioskGuard::wrongPinsBeforeLock; ++wrong)
            gate.guard().check(QStringLiteral("9999"), 0);
        QStringList shown;
        QStringList labels;
        QList<std::function<void(QWidget*)>> steps;
        for (const QString& pin : typed)
            steps << [pin, &shown, &labels](QWidget* modal) {
                shown << QString::fromLatin1(modal->metaObject()->className());
                if (auto* prompt = qobject_cast<QInputDialog*>(modal)) {
                    labels << prompt->labelText();
                    prompt->setTextValue(pin);
                    if (pin.isEmpty())
                        prompt->reject();
                    else
                        prompt->accept();
                } else if (auto* notice = qobject_cast<QMessageBox*>(modal)) {
                    notice->accept();
                }
            };
        answerInTurn(steps);
        const vimotest::LogMark mark;
        gate.setPromptTimeout(300);
        QCOMPARE(gate.mayAct(), mayAct);
        QCOMPARE(shown, seen);
        QMessageBox* notice = nullptr;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible() && qobject_cast<QMessageBox*>(window))
                notice = qobject_cast<QMessageBox*>(window);
        QCOMPARE(notice != nullptr, locked);
        if (notice) {
            QCOMPARE(notice->text(), QStringLiteral("Too many wrong PINs: please try again in a minute."));
            QPointer<QMessageBox> going(notice);
            QTRY_VERIFY(!going);
        }
        QCOMPARE(countOf(mark.messages(), QStringLiteral("A wrong host PIN was entered.")),
                 int(typed.filter(QStringLiteral("0000")).size()));
        if (labels.size() == 2)
            QCOMPARE(labels.last(), QStringLiteral("Wrong PIN. Please enter the host PIN:"));
    }

    // In kiosk mode each host action goes through the host gate: a cancel of its prompt does nothing, and
    // the right PIN lets the action go ahead. Wishes stay free (the adding below wishes
    // nothing, so only the guarded part is timed here).
    void kioskModeAsksForThePinBeforeEveryHostAction_data()
    {
        QTest::addColumn<QString>("action");
        // Every key and action of the window that leaves the party or changes what it offers; the About
        // box's links open other programs on top of the party.
        for (const char* action :
             {"quit", "leave full screen", "add songs", "drop folder", "mode dialog",
              "mode dialog from About", "skip song", "remove wish", "phone wishes", "volume down",
              "keypad volume up", "manual", "About's web link", "About's mail link", "About's manual link",
              "About's log link", "About's library link"})
            QTest::newRow(action) << QString::fromLatin1(action);
    }

    void kioskModeAsksForThePinBeforeEveryHostAction()
    {
        QFETCH(QString, action);
        storeMode(2, true);
        QStringList seen;
        auto window = openWindow(&seen);
        QVERIFY(seen.isEmpty());
        if (action == QLatin1String("leave full screen")) {
            QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
            QVERIFY(window->isFullscreenMode());
        }
        const QString folder = vimotest::queueFixture(QStringLiteral("party"));
        const OpenedOutside outside;
        const bool aboutLink = action.startsWith(QLatin1String("About's"));
        auto* queueRow = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForQueue"));
        if (action == QLatin1String("skip song") || action == QLatin1String("remove wish")) {
            // A long song plays and a wish waits; a guest's wishes need no PIN.
            const vimotest::LogMark added;
            window->addFolder(QDir(vimotest::queueFixture(QStringLiteral("wishes"))));
            QVERIFY(added.waitForJobEnds());
            auto* grid = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForLibrary"));
            for (const char* song : {"Long Player\nEndless Road", "Wisher One\nWish One"}) {
                const QList<QTableWidgetItem*> cells =
                    grid->findItems(QString::fromLatin1(song), Qt::MatchFixedString);
                QCOMPARE(cells.size(), 1);
                emit grid->itemActivated(cells.first());
            }
            QCOMPARE(window->queue()->queuedSongs().size(), 2);
        }
        if (action == QLatin1String("keypad volume up"))
            window->nowPlayingRow()->setVolume(50);
        // How many modal dialogs the action brings up: the prompt, and the dialog that follows it.
        int modals = 1;
        const auto act = [&]() {
            // The dialogs before took the activation, and shortcuts reach only the active window.
            QApplication::setActiveWindow(window.get());
            if (action == QLatin1String("quit")) {
                if (!window->aboutDialogShown())
                    window->aboutBox();
                QVERIFY(window->aboutDialogShown());
                window->aboutDialogShown()->form().quitButton->click();
            } else if (action == QLatin1String("leave full screen")) {
                QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
            } else if (action == QLatin1String("add songs")) {
                QTest::keyClick(window.get(), Qt::Key_A, Qt::AltModifier);
            } else if (action == QLatin1String("drop folder")) {
                dropFolder(*window, folder);
            } else if (action == QLatin1String("skip song")) {
                QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier);
            } else if (action == QLatin1String("remove wish")) {
                queueRow->setCurrentCell(0, 1);
                queueRow->setFocus(Qt::MouseFocusReason);
                QTest::keyClick(queueRow, Qt::Key_Delete);
            } else if (action == QLatin1String("phone wishes")) {
                QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
            } else if (action == QLatin1String("volume down")) {
                QTest::keyClick(window.get(), Qt::Key_Minus);
            } else if (action == QLatin1String("keypad volume up")) {
                QTest::keyClick(window.get(), Qt::Key_Plus, Qt::KeypadModifier);
            } else if (action == QLatin1String("manual")) {
                QTest::keyClick(window.get(), Qt::Key_F1);
            } else if (aboutLink) {
                if (!window->aboutDialogShown())
                    window->aboutBox();
                const Ui::AboutDialog& form = window->aboutDialogShown()->form();
                const bool log = action.contains(QLatin1String("log"));
                QLabel* label = action.contains(QLatin1String("web"))       ? form.label_2_contact_web
                                : action.contains(QLatin1String("mail"))    ? form.label_3_contact_mail
                                : action.contains(QLatin1String("library")) ? form.label_5_acknowledge
                                                                            : form.label_4_manual;
                // The label itself opens nothing: every link goes through the window's gate.
                QVERIFY(!label->openExternalLinks());
                const QString link = linkOf(label, log ? 1 : 0);
                QVERIFY(!link.isEmpty());
                emit label->linkActivated(link);
                // Only the prompt comes up; the link is handed on once the About box's signal is done.
                QVERIFY(QTest::qWaitFor([&]() { return !seen.isEmpty(); }));
            } else if (action == QLatin1String("mode dialog from About")) {
                if (!window->aboutDialogShown())
                    window->aboutBox();
                auto* line =
                    window->aboutDialogShown()->findChild<QLabel*>(QStringLiteral("label_6_party_mode"));
                QVERIFY(line);
                emit line->linkActivated(QStringLiteral("#party-mode"));
                // The About box hands the request on once its own signal is done.
                QVERIFY(QTest::qWaitFor([&]() { return seen.size() == modals; }));
            } else {
                QTest::keyClick(window.get(), Qt::Key_M, Qt::ControlModifier);
            }
        };
        const auto done = [&]() {
            if (action == QLatin1String("quit"))
                return !window->isVisible();
            if (action == QLatin1String("leave full screen"))
                return !window->isFullscreenMode();
            if (action == QLatin1String("drop folder"))
                return window->trackLibrary() != nullptr;
            if (action == QLatin1String("skip song"))
                return window->queue()->queuedSongs().first()->title() == QLatin1String("Wish One");
            if (action == QLatin1String("remove wish"))
                return window->queue()->queuedSongs().size() == 1;
            if (action == QLatin1String("phone wishes"))
                return window->phones()->isRunning();
            if (action == QLatin1String("volume down"))
                return window->nowPlayingRow()->volume() == 95;
            if (action == QLatin1String("keypad volume up"))
                return window->nowPlayingRow()->volume() == 55;
            if (action == QLatin1String("manual") || aboutLink)
                return !outside.urls.isEmpty();
            // Adding songs and the mode dialog show a dialog of their own after the PIN.
            return !seen.isEmpty() && seen.last() != QLatin1String("QInputDialog");
        };

        const vimotest::LogMark mark;
        answerInTurn({cancel(&seen)});
        act();
        QCOMPARE(seen, QStringList{QStringLiteral("QInputDialog")});
        QVERIFY(!done());

        seen.clear();
        modals = 2;
        const bool dialogFollows =
            action == QLatin1String("add songs") || action.startsWith(QLatin1String("mode"));
        answerInTurn(dialogFollows
                         ? QList<std::function<void(QWidget*)>>{typePin(hostPin, &seen), cancel(&seen)}
                         : QList<std::function<void(QWidget*)>>{typePin(hostPin, &seen)});
        act();
        QVERIFY(done());
        QCOMPARE(seen.first(), QStringLiteral("QInputDialog"));
        if (action == QLatin1String("add songs"))
            QCOMPARE(seen.last(), QStringLiteral("QFileDialog"));
        if (action.startsWith(QLatin1String("mode dialog")))
            QCOMPARE(seen.last(), QStringLiteral("ConfigDialog"));
        if (action == QLatin1String("drop folder"))
            QVERIFY(mark.waitForJobEnds());
        if (action == QLatin1String("manual"))
            QVERIFY(outside.urls.first().toLocalFile().endsWith(manualFileName()));
        window->nowPlayingRow()->setVolume(100);
    }

    // In kiosk mode the window takes the screen back when the window manager minimises it (its window
    // menu) or another program comes in front (Alt+Tab), and the log says so; outside kiosk mode the
    // desktop does as it likes.
    void aKioskWindowTakesTheScreenBack_data()
    {
        QTest::addColumn<bool>("kiosk");
        QTest::addColumn<bool>("minimise");
        QTest::newRow("minimised in kiosk mode") << true << true;
        QTest::newRow("covered in kiosk mode") << true << false;
        QTest::newRow("minimised outside kiosk mode") << false << true;
        QTest::newRow("covered outside kiosk mode") << false << false;
    }

    void aKioskWindowTakesTheScreenBack()
    {
        QFETCH(bool, kiosk);
        QFETCH(bool, minimise);
        storeMode(kiosk ? 2 : 0, kiosk);
        QStringList seen;
        auto window = openWindow(&seen);
        window->kiosk()->setCoverDelay(50);
        QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(window->isFullScreen());

        const vimotest::LogMark mark;
        const QString logged = minimise ? QStringLiteral("the window was minimised and takes the screen back")
                                        : QStringLiteral("another program covered the window");
        // Another program's window: one the application has no widget for.
        QWindow otherProgram;
        if (minimise) {
            // As the window manager does it: the window's state changes under the widget.
            window->windowHandle()->setWindowState(Qt::WindowMinimized);
        } else {
            otherProgram.show();
            otherProgram.requestActivate();
        }
        const auto back = [&]() {
            return minimise ? !window->isMinimized() && window->isFullScreen()
                            : QApplication::activeWindow() == window.get();
        };
        if (kiosk) {
            QTRY_COMPARE(countOf(mark.messages(), logged), 1);
            QTRY_VERIFY(back());
            QVERIFY(window->isFullscreenMode());
        } else {
            QTRY_VERIFY(minimise ? window->isMinimized() : QApplication::activeWindow() == nullptr);
            QTest::qWait(200);
            QVERIFY(!back());
            QCOMPARE(countOf(mark.messages(), logged), 0);
        }
    }

    // A guest who opens the PIN prompt and walks away freezes nothing: the grid takes wishes while it
    // waits, and it gives up by itself when nobody types.
    void thePinPromptNeitherBlocksWishesNorWaitsForEver()
    {
        storeMode(2, true);
        QStringList seen;
        auto window = openWindow(&seen);
        const vimotest::LogMark added;
        window->addFolder(QDir(vimotest::queueFixture(QStringLiteral("wishes"))));
        QVERIFY(added.waitForJobEnds());
        auto* grid = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForLibrary"));
        const auto cellOf = [grid](const char* song) {
            const QList<QTableWidgetItem*> cells =
                grid->findItems(QString::fromLatin1(song), Qt::MatchFixedString);
            return cells.value(0);
        };
        QVERIFY(cellOf("Long Player\nEndless Road") && cellOf("Wisher One\nWish One"));
        emit grid->itemActivated(cellOf("Long Player\nEndless Road"));
        QCOMPARE(window->queue()->queuedSongs().size(), 1);
        grid->setCurrentItem(cellOf("Wisher One\nWish One"));
        grid->setFocus(Qt::OtherFocusReason);

        const int patience = 400;
        window->gate()->setPromptTimeout(patience);
        QString prompt;
        int queuedWhileAsked = 0;
        vimotest::whenModalAppears([&](QWidget* shown) {
            prompt = QString::fromLatin1(shown->metaObject()->className());
            // A guest at the keyboard wishes the chosen song, as the window system delivers the key.
            QTest::keyClick(window->windowHandle(), Qt::Key_Return);
            queuedWhileAsked = int(window->queue()->queuedSongs().size());
            // A prompt that never gives up fails here instead of hanging the suite.
            QTimer::singleShot(10000, shown, &QWidget::close);
        });
        QApplication::setActiveWindow(window.get());
        QElapsedTimer clock;
        clock.start();
        QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier);
        const qint64 waited = clock.elapsed();
        QCOMPARE(prompt, QStringLiteral("QInputDialog"));
        QCOMPARE(queuedWhileAsked, 2);
        // A coarse timer may fire a little early; it must not give up at once, nor wait for the fallback.
        QVERIFY2(waited >= patience / 2 && waited < 5000, qPrintable(QString::number(waited)));
        QVERIFY(!window->gate()->prompt());
        // Nothing was skipped: the prompt gave up without a PIN.
        QCOMPARE(window->queue()->queuedSongs().first()->title(), QStringLiteral("Endless Road"));
    }

    // Setting up the kiosk with the keyboard: Tab goes slider, PIN, PIN again, Close; a PIN the dialog cannot
    // take keeps it open with the reason in it and the fields as typed.
    void theModeDialogKeepsAPinItCannotTake_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("problem");
        QTest::newRow("alike") << hostPin << hostPin << QString();
        QTest::newRow("different") << hostPin << QStringLiteral("1375")
                                   << QStringLiteral("The two PINs differ");
        QTest::newRow("too short") << QStringLiteral("135") << QStringLiteral("135")
                                   << QStringLiteral("at least four characters");
    }

    void theModeDialogKeepsAPinItCannotTake()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, problem);
        ConfigDialog dialog;
        dialog.offerNewPin(true);
        dialog.modeSlider()->setValue(5);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialog.modeSlider()->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.pinField());
        QTest::keyClicks(QApplication::focusWidget(), first);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.pinRepeatField());
        QTest::keyClicks(QApplication::focusWidget(), second);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        auto* closeButton = qobject_cast<QPushButton*>(QApplication::focusWidget());
        QVERIFY(closeButton);
        QCOMPARE(closeButton->text(), QStringLiteral("Close"));
        QTest::keyClick(closeButton, Qt::Key_Space);

        QCOMPARE(dialog.isVisible(), !problem.isEmpty());
        auto* said = dialog.findChild<QLabel*>(QStringLiteral("pinProblem"));
        QVERIFY(said);
        QCOMPARE(said->isVisible(), !problem.isEmpty());
        if (!problem.isEmpty())
            QVERIFY2(said->text().contains(problem), qPrintable(said->text()));
        QCOMPARE(dialog.pinField()->text(), first);
        QCOMPARE(dialog.pinRepeatField()->text(), second);
        QCOMPARE(dialog.newPin(), problem.isEmpty() ? first : (first == second ? first : QString()));
    }

    // Five wrong PINs within a minute lock the prompt for a minute, even for the right PIN; wrong PINs
    // further apart never do. The PIN is kept salted: the same PIN twice gives two records.
    void fiveWrongPinsWithinAMinuteLockThePrompt()
    {
        QSettings settings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
        KioskGuard guard(&settings);
        QVERIFY(!guard.setPin(QStringLiteral("123")));
        QVERIFY(guard.setPin(hostPin));
        const QByteArray first = settings.value(QStringLiteral("Party/PIN")).toByteArray();
        QVERIFY(guard.setPin(hostPin));
        QVERIFY(settings.value(QStringLiteral("Party/PIN")).toByteArray() != first);
        guard.setKiosk(true);
        QVERIFY(!guard.actionIsFree());

        const vimotest::LogMark mark;
        // Spread over more than a minute: four within any minute, never locked.
        for (qint64 at = 0; at <= 75000; at += 15000)
            QCOMPARE(guard.check(QStringLiteral("0000"), at), KioskGuard::Answer::Wrong);
        QCOMPARE(guard.check(hostPin, 76000), KioskGuard::Answer::Accepted);

        const qint64 start = 200000;
        for (int wrong = 0; wrong < KioskGuard::wrongPinsBeforeLock; ++wrong)
            QCOMPARE(guard.check(QStringLiteral("9999"), start + wrong * 1000), KioskGuard::Answer::Wrong);
        const qint64 lockedAt = start + 4000;
        QCOMPARE(guard.check(hostPin, lockedAt + 1), KioskGuard::Answer::Locked);
        QCOMPARE(guard.check(hostPin, lockedAt + KioskGuard::lockMilliseconds - 1),
                 KioskGuard::Answer::Locked);
        QCOMPARE(guard.check(hostPin, lockedAt + KioskGuard::lockMilliseconds), KioskGuard::Answer::Accepted);
        const QStringList messages = mark.messages();
        QCOMPARE(countOf(messages, QStringLiteral("A wrong host PIN was entered.")), 11);
        QCOMPARE(countOf(messages, QStringLiteral("the PIN prompt is locked for a minute")), 1);
    }

    // The host takes a waiting wish back (Delete on its queue cell) and skips the playing song (Ctrl+N): the
    // queue, its cells, the grid's colours, the playlist and the log all tell the same story.
    void hostRemovesAWishAndSkipsTheSong()
    {
        storeMode(PartyMode::standard, false);
        vimotest::PartyWindow party;
        QVERIFY(party.add(vimotest::queueFixture(QStringLiteral("wishes")), 6));
        Track* endless = party.titled(QStringLiteral("Endless Road"));
        Track* one = party.titled(QStringLiteral("Wish One"));
        Track* two = party.titled(QStringLiteral("Wish Two"));
        Track* three = party.titled(QStringLiteral("Wish Three"));
        for (const Track* song : {endless, one, two, three})
            party.wish(song);
        QCOMPARE(party.queue()->queuedSongs(), (QList<Track*>{endless, one, two, three}));

        QApplication::setActiveWindow(party.window.get());
        party.queueRow->setCurrentCell(0, 2);
        party.queueRow->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(party.queueRow, Qt::Key_Delete);
        QCOMPARE(party.queue()->queuedSongs(), (QList<Track*>{endless, one, three}));
        QCOMPARE(two->state(), SongState::Free);
        QCOMPARE(party.queueRow->item(0, 2)->text(), three->displayText());
        QCOMPARE(party.queueRow->item(0, 3)->text(), QString());
        QCOMPARE(party.cellOf(two)->background().color(), backgroundColour());
        QCOMPARE(party.cellOf(two)->foreground().color(), textColour());
        QVERIFY(
            party.logged(QStringLiteral("The host took the wish Wisher Two - Wish Two out of the queue.")));

        QTest::keyClick(party.window.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(party.queue()->queuedSongs(), (QList<Track*>{one, three}));
        QCOMPARE(endless->state(), SongState::Played);
        QCOMPARE(one->state(), SongState::Playing);
        QCOMPARE(party.queueRow->item(0, 0)->text(), one->displayText());
        QCOMPARE(party.queueRow->item(0, 2)->text(), QString());
        QCOMPARE(party.cellOf(endless)->foreground().color(), accentColour());
        QCOMPARE(party.lines(), (QStringList{vimotest::playlistLine(1, false, endless),
                                             vimotest::playlistLine(2, false, one)}));
        const QString notice = QStringLiteral("\n < skipped by the host: Long Player - Endless Road > \n\n");
        QVERIFY(party.playlist().contains(vimotest::playlistLine(1, false, endless) + QLatin1Char('\n') +
                                          notice + vimotest::playlistLine(2, false, one)));
        QVERIFY(party.logged(QStringLiteral("The host skipped the song Long Player - Endless Road.")));

        // The wish taken back is free: a guest may wish it again.
        party.wish(two);
        QCOMPARE(party.queue()->queuedSongs().last(), two);
    }

    // Frames land in the folder as numbered JPEGs and become a film of as many frames; none while a
    // portrait is under way; a disk without room stops them with one log line and leaves no film.
    void stopMotionFramesBecomeTheFilm_data()
    {
        QTest::addColumn<bool>("portraitUnderWay");
        QTest::addColumn<bool>("diskFull");
        QTest::addColumn<int>("frames");
        QTest::newRow("frames") << false << false << 4;
        QTest::newRow("portrait under way") << true << false << 0;
        QTest::newRow("disk full") << false << true << 0;
    }

    void stopMotionFramesBecomeTheFilm()
    {
        QFETCH(bool, portraitUnderWay);
        QFETCH(bool, diskFull);
        QFETCH(int, frames);
        QTemporaryDir folder;
        const QString video = folder.filePath(QStringLiteral("camera.avi"));
        QVERIFY(vimotest::makeCameraVideo(video, 8));
        opencv::Snapshot camera(video, 64, 48, 90);
        QVERIFY(camera.isOpened());
        const QString frameFolder = folder.filePath(QStringLiteral("Stop motion"));
        QVERIFY(QDir().mkpath(frameFolder));

        const vimotest::LogMark mark;
        StopMotion stopMotion(&camera, frameFolder, 20, [=]() { return portraitUnderWay; });
        if (diskFull)
            stopMotion.setReserveBytes(std::numeric_limits<qint64>::max());
        stopMotion.start();
        QVERIFY(stopMotion.isRunning());
        for (int tick = 0; tick < 4; ++tick) {
            stopMotion.takeFrame();
            stopMotion.waitForFrame();
        }
        QCOMPARE(stopMotion.isRunning(), !diskFull);
        QStringList expected;
        for (int frame = 1; frame <= frames; ++frame)
            expected << QStringLiteral("%1.jpg").arg(frame, 5, 10, QLatin1Char('0'));
        QCOMPARE(QDir(frameFolder).entryList(QDir::Files, QDir::Name), expected);
        QCOMPARE(countOf(mark.messages(), QStringLiteral("no more stop-motion frames")), diskFull ? 1 : 0);

        const QString filmPath = folder.filePath(QStringLiteral("Vimo party film.mp4"));
        const PartyFilm film = writePartyFilm(frameFolder, filmPath);
        QCOMPARE(film.frames, frames);
        QCOMPARE(QFileInfo::exists(filmPath), frames > 0);
        if (frames == 0)
            return;
        qInfo("film written with %s", qPrintable(film.codec));
        cv::VideoCapture reader(QFile::encodeName(filmPath).toStdString());
        QVERIFY(reader.isOpened());
        int decoded = 0;
        cv::Mat picture;
        while (reader.read(picture)) {
            QCOMPARE(picture.cols, 64);
            ++decoded;
        }
        QCOMPARE(decoded, frames);
        QCOMPARE(countOf(mark.messages(), QStringLiteral("was made from %1 frames").arg(frames)), 1);
    }
};

VIMO_TEST_MAIN(TestPartyModes)
#include "tst_partymodes.moc"
