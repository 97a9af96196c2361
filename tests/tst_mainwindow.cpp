// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's start-up, full screen, layout, hue, About box and the party-mode dialog, driven the
// way a user would drive them, with dialogs answered as they appear.
#include "app/startup.h"
#include "base/runlog.h"
#include "base/settings.h"
#include "library/TrackLibrary.h"
#include "testsupport.h"
#include "ui/About.h"
#include "ui/ConfigDialog.h"
#include "ui/TimerBorderHue.h"
#include "ui/mainwindowimpl.h"
#include "windowsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <memory>
#include <utility>

namespace {

void setFullscreenSetting(int value)
{
    QSettings* store = settingsStore();
    store->setValue(QStringLiteral("UI/Fullscreen"), value);
    store->sync();
}

int storedFullscreen()
{
    return QSettings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"))
        .value(QStringLiteral("UI/Fullscreen"), -1)
        .toInt();
}

// Start-up scenarios in a process of their own, with a home of their own: a first start is a first start.
// Arguments: the home, the sound driver, the answer to every message box, then "own" or "later" and songs:
// the program is started with them, or a later start of the program hands them over while the first
// message box waits. The window closes once they are added (or after 20 s).
int child(const QStringList& arguments)
{
    vimotest::useHome(arguments.value(1));
    qputenv("SDL_AUDIODRIVER", arguments.value(2).toUtf8());
    const QString answer = arguments.value(3);
    const QStringList paths = arguments.mid(5);
    auto later =
        std::make_shared<QStringList>(arguments.value(4) == QLatin1String("later") ? paths : QStringList());
    QTextStream out(stdout);
    auto seen = std::make_shared<QStringList>();
    auto songs = std::make_shared<int>(0);
    QElapsedTimer running;
    running.start();
    const auto added = [paths, songs, running](MainWindow* window) {
        *songs = window->trackLibrary() ? window->trackLibrary()->trackCount() : 0;
        return paths.isEmpty() || (*songs > 0 && !window->isAdding()) || running.hasExpired(20000);
    };
    // Every message box is answered and reported, so a question that should not come shows up.
    auto* timer = new QTimer(qApp);
    auto holding = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [seen, answer, added, later, holding]() {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (!later->isEmpty()) {
                QProcess::execute(QString::fromLocal8Bit(qgetenv("VIMO_BINARY_DIR")) +
                                      QStringLiteral("/vimo"),
                                  std::exchange(*later, QStringList()));
                // The question stays a while longer, while the running start reads the hand-over.
                *holding = 25;
            }
            if (*holding > 0 && --*holding > 0)
                return;
            *seen << box->windowTitle() + QLatin1Char('|') + box->text();
            for (QAbstractButton* button : box->buttons())
                if (button->text() == answer || box->buttons().size() == 1)
                    button->click();
        } else if (QApplication::activeModalWidget() == nullptr) {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* window = qobject_cast<MainWindow*>(widget);
                    window && window->isVisible() && added(window))
                    QTimer::singleShot(0, widget, &QWidget::close);
        }
    });
    timer->start(20);
    const int result = runMainWindow(later->isEmpty() ? paths : QStringList());
    for (const QString& line : *seen)
        out << "modal: " << QString(line).replace('\n', "\\n") << '\n';
    out << "log: " << logFilePath() << '\n';
    out << "songs: " << *songs << '\n';
    return result;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void soundFailureEndsWithCodeOneAndWritesNothing()
    {
        QTemporaryDir home;
        QString output;
        QCOMPARE(vimotest::runChild({"start", home.path(), "no-such-driver", "No"}, &output), 1);
        const QStringList modals = output.split('\n').filter(QStringLiteral("modal: "));
        QCOMPARE(modals.size(), 1);
        QCOMPARE(modals.first(),
                 QStringLiteral(
                     "modal: Vimo - critical error|The sound back end could not be initialized.\\n\\n"
                     "Please start Vimo again after you ensured that\\nyour sound device is correctly "
                     "set up.\\n\\nIn many cases, all you need to do is plugging in\\nand/or turning on "
                     "your speakers."));
        QVERIFY(!QFileInfo::exists(home.path() + QStringLiteral("/.config/Talvoren/Vimo.conf")));
        // The reason goes to the run's log.
        const QString log = vimotest::readTextFile(vimotest::childValue(output, QStringLiteral("log")));
        QVERIFY2(log.contains(QStringLiteral("no-such-driver")), qPrintable(log));
    }

    void firstStartWritesDefaults_data()
    {
        QTest::addColumn<QString>("answer");
        // The songs the program is started with (as a file manager starts it: a folder and a song of another
        // folder): "" none, "own" on the first start's command line, "later" handed over by a later start
        // while the first one still asks its question.
        QTest::addColumn<QString>("songsFrom");
        QTest::addColumn<int>("songs");
        QTest::newRow("Yes") << "Yes"
                             << "" << 0;
        QTest::newRow("No") << "No"
                            << "" << 0;
        QTest::newRow("No, started with songs") << "No"
                                                << "own" << 4;
        QTest::newRow("No, songs handed over during the question") << "No"
                                                                   << "later" << 4;
    }
    void firstStartWritesDefaults()
    {
        QFETCH(QString, answer);
        QFETCH(QString, songsFrom);
        QFETCH(int, songs);
        QTemporaryDir home;
        QString output;
        const QString fixtures = vimotest::fixturesDirectory() + QStringLiteral("/queue/");
        const QStringList paths = songsFrom.isEmpty()
                                      ? QStringList()
                                      : QStringList{songsFrom, fixtures + QStringLiteral("three"),
                                                    fixtures + QStringLiteral("pause/slow.mp3")};
        QCOMPARE(vimotest::runChild(QStringList{"start", home.path(), "dummy", answer} + paths, &output), 0);
        QCOMPARE(output.split('\n').filter(QStringLiteral("modal: ")),
                 QStringList{QStringLiteral("modal: Vimo quick setup|Do you want to use a webcam?")});
        QSettings stored(home.path() + QStringLiteral("/.config/Talvoren/Vimo.conf"), QSettings::IniFormat);
        QCOMPARE(stored.value(QStringLiteral("UI/Fullscreen")).toInt(), 0);
        QCOMPARE(stored.value(QStringLiteral("Webcam/DirectX Device ID")).toInt(), 0);
        QCOMPARE(stored.value(QStringLiteral("Webcam/Width")).toInt(), 1280);
        QCOMPARE(stored.value(QStringLiteral("Webcam/Height")).toInt(), 1024);
        QVERIFY(!stored.contains(QStringLiteral("Force Qt dialog")));
        // There is no camera here, so whatever the answer the log says the webcam did not start.
        const QString log = vimotest::readTextFile(vimotest::childValue(output, QStringLiteral("log")));
        QVERIFY2(log.contains(QStringLiteral("\t::\tWebcam initialization failed.\n")), qPrintable(log));
        QCOMPARE(vimotest::childValue(output, QStringLiteral("songs")).toInt(), songs);
    }

    void storedFullscreenStartsFullscreenAndRefusesWindowSystemClose()
    {
        setFullscreenSetting(1);
        auto window = vimotest::openMainWindow();
        QVERIFY(!window->initializationFailed());
        QVERIFY(window->isFullScreen());
        QVERIFY(fullscreenActive);

        // The window system's close (title bar, Alt+F4) arrives as a spontaneous close event.
        window->windowHandle()->close();
        QVERIFY(window->isVisible());

        QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(!window->isFullScreen());
        QCOMPARE(storedFullscreen(), 0);

        window->windowHandle()->close();
        QVERIFY(!window->isVisible());
    }

    void togglingTwiceFromNormalStoresZero()
    {
        setFullscreenSetting(0);
        auto window = vimotest::openMainWindow();
        QVERIFY(!window->isFullScreen());
        QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(window->isFullScreen());
        QCOMPARE(storedFullscreen(), 1);
        QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(!window->isFullScreen());
        QCOMPARE(storedFullscreen(), 0);
    }

    void queueColumnsShareTheWidthExactly()
    {
        setFullscreenSetting(0);
        auto window = vimotest::openMainWindow();
        auto* queue = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForQueue"));
        QVERIFY(queue);
        queue->setFixedWidth(1003);
        window->layoutQueueColumns();
        const QList<int> expected{200, 200, 200, 200, 203};
        for (int column = 0; column < 5; ++column)
            QCOMPARE(queue->columnWidth(column), expected.at(column));
        QCOMPARE(queue->rowHeight(0), 100);
        // Every queue cell is a styled, non-editable cell.
        for (int column = 0; column < 5; ++column) {
            QVERIFY(queue->item(0, column));
            QCOMPARE(queue->item(0, column)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        }
    }

    void hintCellKeepsFillingTheLibraryTable()
    {
        setFullscreenSetting(0);
        auto window = vimotest::openMainWindow();
        auto* library = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForLibrary"));
        QVERIFY(library);
        QCOMPARE(library->item(0, 0), window->hintCell());
        QCOMPARE(window->hintCell()->text(),
                 QStringLiteral("Drag a folder or mp3 files here\n\nF1 shows the manual"));
        QCOMPARE(window->hintCell()->font().pointSize(), 22);
        for (const QSize& size : {QSize(700, 500), QSize(1024, 768), QSize(800, 900)}) {
            window->resize(size);
            QApplication::processEvents();
            QCOMPARE(library->rowCount(), 1);
            QCOMPARE(library->columnCount(), 1);
            QCOMPARE(library->columnWidth(0), library->width());
            QCOMPARE(library->rowHeight(0), library->height());
        }
    }

    void borderHueWalk()
    {
        QWidget target;
        TimerBorderHue hue(&target);
        QCOMPARE(hue.tick().interval(), 500);
        QVERIFY(hue.tick().isActive());
        target.setPalette(QPalette(Qt::red));
        hue.update();
        QCOMPARE(hue.currentHue(), 21);
        // The whole palette is replaced, not only the window role.
        QCOMPARE(target.palette().color(QPalette::Button), QPalette().color(QPalette::Button));
        QCOMPARE(target.palette().color(QPalette::Window), QColor::fromHsv(21, 125, 255, 255));
        for (int tick = 2; tick <= 200; ++tick)
            hue.update();
        QCOMPARE(hue.currentHue(), 220);
        QVERIFY(hue.isRising());
        hue.update();
        QCOMPARE(hue.currentHue(), 221);
        QVERIFY(!hue.isRising());
        for (int tick = 0; tick < 201; ++tick)
            hue.update();
        QCOMPARE(hue.currentHue(), 20);
        QVERIFY(!hue.isRising());
        hue.update();
        QCOMPARE(hue.currentHue(), 19);
        QVERIFY(hue.isRising());
        hue.update();
        QCOMPARE(hue.currentHue(), 20);
    }

    void aboutBoxTogglesAndClosesEveryWay_data()
    {
        QTest::addColumn<QString>("way");
        for (const char* way : {"About button", "OK", "Escape"})
            QTest::newRow(way) << way;
    }
    void aboutBoxTogglesAndClosesEveryWay()
    {
        QFETCH(QString, way);
        setFullscreenSetting(0);
        auto window = vimotest::openMainWindow();
        auto* aboutButton = window->findChild<QPushButton*>(QStringLiteral("aboutButton"));
        aboutButton->click();
        QPointer<About> first = window->aboutDialogShown();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->windowTitle(), QStringLiteral("About Vimo"));
        if (way == QLatin1String("About button"))
            aboutButton->click();
        else if (way == QLatin1String("OK"))
            first->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        else {
            // Pressed where a guest presses it: in the box, which is then the active window.
            QApplication::setActiveWindow(first.data());
            QVERIFY(QTest::qWaitForWindowActive(first.data()));
            QTest::keyClick(first.data(), Qt::Key_Escape);
        }
        // The window heard of it: the box is gone, and the next click shows a fresh one.
        QVERIFY(!window->aboutDialogShown());
        QTRY_VERIFY(first.isNull());
        aboutButton->click();
        QPointer<About> second = window->aboutDialogShown();
        QVERIFY(second);
        QVERIFY(second->isVisible());

        // Closing the window closes the About box with it.
        window->close();
        QTRY_VERIFY(second.isNull() || !second->isVisible());
    }

    void aboutBoxNeverCoversWhatClosesIt_data()
    {
        QTest::addColumn<int>("forceQtDialog");
        QTest::newRow("the desktop's folder dialog") << 0;
        QTest::newRow("the program's own folder dialog") << 1;
    }
    void aboutBoxNeverCoversWhatClosesIt()
    {
        QFETCH(int, forceQtDialog);
        setFullscreenSetting(0);
        settingsStore()->setValue(QStringLiteral("Force Qt dialog"), forceQtDialog);
        auto window = vimotest::openMainWindow();
        window->resize(700, 500);
        QApplication::processEvents();
        QCOMPARE(window->size(), QSize(700, 500));
        auto* aboutButton = window->findChild<QPushButton*>(QStringLiteral("aboutButton"));
        aboutButton->click();
        QPointer<About> about = window->aboutDialogShown();
        QVERIFY(about);
        QVERIFY(QTest::qWaitForWindowExposed(about.data()));
        const QRect button(aboutButton->mapToGlobal(QPoint(0, 0)), aboutButton->size());
        QVERIFY2(!about->frameGeometry().intersects(button),
                 qPrintable(QStringLiteral("About box %1,%2 %3x%4")
                                .arg(about->frameGeometry().x())
                                .arg(about->frameGeometry().y())
                                .arg(about->width())
                                .arg(about->height())));

        // Add Songs: the box, always on top, is gone before the folder dialog opens.
        bool aboutShownWithDialog = true;
        bool dialogSeen = false;
        if (!forceQtDialog)
            vimotest::whenModalAppears([&](QWidget* modal) {
                dialogSeen = true;
                aboutShownWithDialog = about && about->isVisible();
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
            });
        window->findChild<QPushButton*>(QStringLiteral("addSongsButton"))->click();
        if (forceQtDialog) {
            QVERIFY(window->ownFolderDialog() && window->ownFolderDialog()->isVisible());
            dialogSeen = true;
            aboutShownWithDialog = about && about->isVisible();
            window->ownFolderDialog()->reject();
        }
        QVERIFY(dialogSeen);
        QVERIFY(!aboutShownWithDialog);
        QVERIFY(!window->aboutDialogShown());
        QTRY_VERIFY(about.isNull());
        settingsStore()->setValue(QStringLiteral("Force Qt dialog"), 0);
    }

    void aboutShowsVersionAndTheLibrariesWeLink()
    {
        About about(nullptr);
        const QString version = about.findChild<QLabel*>(QStringLiteral("label_1_version"))->text();
        QVERIFY(version.startsWith(QStringLiteral("Vimo 2.0\nRelease date: ")));
        const QString thanks = about.findChild<QLabel*>(QStringLiteral("label_5_acknowledge"))->text();
        for (const char* library : {"Qt", "libmpg123", "SDL", "id3lib", "TagLib", "OpenCV", "libexif"})
            QVERIFY2(thanks.contains(QStringLiteral("<br>") + QLatin1String(library) + QLatin1Char(' ')),
                     library);
        QVERIFY(!thanks.contains(QStringLiteral("Bass")));
        QVERIFY(thanks.contains(QStringLiteral("<br>Qt ") + QLatin1String(qVersion())));
        const QString manual = about.findChild<QLabel*>(QStringLiteral("label_4_manual"))->text();
        QVERIFY(manual.contains(QUrl::fromLocalFile(manualPath()).toString()));
        QVERIFY(manualPath().startsWith(QCoreApplication::applicationDirPath()));
    }

    void quitEndsTheProgramInFullScreenToo()
    {
        setFullscreenSetting(1);
        auto window = vimotest::openMainWindow();
        QVERIFY(window->isFullScreen());
        window->aboutBox();
        QVERIFY(window->aboutDialogShown());
        window->aboutDialogShown()->findChild<QPushButton*>(QStringLiteral("quitButton"))->click();
        QVERIFY(!window->isVisible());
        setFullscreenSetting(0);
    }

    // The build's date as the About box shows it, in the US English the program is written in.
    void releaseDate_data()
    {
        QTest::addColumn<QString>("buildDate");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Jul 15 2013") << "Jul 15 2013"
                                     << "Monday, July 15, 2013";
        QTest::newRow("single-digit day") << "Mar  5 2021"
                                          << "Friday, March 5, 2021";
        QTest::newRow("two-digit year") << "Dec 24 13"
                                        << "Tuesday, December 24, 2013";
        QTest::newRow("unknown month") << "Foo 15 2013" << QString();
        QTest::newRow("day that does not exist") << "Feb 30 2020" << QString();
    }
    void releaseDate()
    {
        QFETCH(QString, buildDate);
        QFETCH(QString, expected);
        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const QString text = releaseDateText(buildDate);
        QLocale::setDefault(previous);
        QCOMPARE(text, expected);
    }

    void partyModes_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("startsWith");
        QTest::addColumn<bool>("mentionsAdding");
        QTest::newRow("0") << 0 << "Home \"forever alone\" mode" << true;
        QTest::newRow("1") << 1 << "Default \"unlocked party\" mode" << true;
        QTest::newRow("2") << 2 << "Party \"no camera\" mode" << false;
        QTest::newRow("3") << 3 << "Party \"no stop-motion\" mode" << false;
        QTest::newRow("4") << 4 << "Party \"no wish-photos\" mode" << false;
        QTest::newRow("5") << 5 << "Party \"Deluxe\" mode" << false;
    }
    void partyModes()
    {
        QFETCH(int, value);
        QFETCH(QString, startsWith);
        QFETCH(bool, mentionsAdding);
        ConfigDialog dialog;
        dialog.modeSlider()->setValue(value == 0 ? 5 : 0);
        dialog.modeSlider()->setValue(value);
        QVERIFY(dialog.description().startsWith(startsWith));
        QCOMPARE(dialog.description().contains(QStringLiteral("Adding of songs ON")), mentionsAdding);
        QCOMPARE(dialog.description().startsWith(QStringLiteral("Home")), value == 0);
        const QString shown = dialog.description();
        dialog.SliderValueChanged(6);
        QCOMPARE(dialog.description(), shown);
        dialog.SliderValueChanged(-1);
        QCOMPARE(dialog.description(), shown);
    }

    void partyModeDialogClosedByItsFrameOrEscapeAccepts_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("frame") << false;
        QTest::newRow("Escape") << true;
    }
    void partyModeDialogClosedByItsFrameOrEscapeAccepts()
    {
        QFETCH(bool, escape);
        ConfigDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        QSignalSpy rejected(&dialog, &QDialog::rejected);
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            dialog.windowHandle()->close();
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(rejected.count(), 0);
        QVERIFY(!dialog.isVisible());
    }
};

VIMO_TEST_MAIN_WITH_CHILD(TestMainWindow, child)
#include "tst_mainwindow.moc"
