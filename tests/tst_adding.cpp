// SPDX-License-Identifier: GPL-3.0-or-later
// Adding songs: the own folder dialog's accept label and answers on the add-songs controller alone, and
// through the main window drops, the folder dialogs, the job's notifications, its log lines, the progress
// on the button, cancelling, and requests that arrive while a job runs or ends.
#include "library/AddingRelay.h"
#include "library/TrackLibrary.h"
#include "testsupport.h"
#include "ui/AddSongsController.h"
#include "ui/mainwindowimpl.h"
#include "windowsupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QMutex>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using vimotest::LogMark;
using vimotest::PoolGate;

namespace {

const QString buttonText = QStringLiteral("Add\nSongs");
const QString lastFolderKey = QStringLiteral("LastNewMp3Directory");

QString fixture(const QString& name)
{
    return vimotest::fixturesDirectory() + QStringLiteral("/adding/") + name;
}

QString storedLastFolder()
{
    return QSettings(QStringLiteral("Talvoren"), QStringLiteral("Vimo")).value(lastFolderKey).toString();
}

void store(const QString& key, const QVariant& value)
{
    QSettings settings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
    if (value.isNull())
        settings.remove(key);
    else
        settings.setValue(key, value);
    settings.sync();
}

QMimeData* urlData(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

// What the desktop does when files are dragged over the window; true when the window takes them.
bool dragEnter(MainWindow& window, const QStringList& paths)
{
    std::unique_ptr<QMimeData> data(urlData(paths));
    QDragEnterEvent event(QPoint(20, 20), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &event);
    return event.isAccepted();
}

void sendDrop(MainWindow& window, const QStringList& paths)
{
    std::unique_ptr<QMimeData> data(urlData(paths));
    QDropEvent event(QPointF(20, 20), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &event);
}

// A drop reaches the widget that took the drag when it entered; true when the window took it.
bool drop(MainWindow& window, const QStringList& paths)
{
    if (!dragEnter(window, paths))
        return false;
    sendDrop(window, paths);
    return true;
}

QPushButton* addSongsButton(MainWindow& window)
{
    return window.findChild<QPushButton*>(QStringLiteral("addSongsButton"));
}

QTableWidget* libraryTable(MainWindow& window)
{
    return window.findChild<QTableWidget*>(QStringLiteral("myTableWidgetForLibrary"));
}

int songCount(MainWindow& window)
{
    return window.trackLibrary() ? window.trackLibrary()->trackCount() : 0;
}

bool hasSong(MainWindow& window, const QString& artist, const QString& title)
{
    return window.trackLibrary() &&
           window.trackLibrary()->findBySearchKey(artist.toLower() + QLatin1Char('\n') + title.toLower());
}

// Runs `before` ahead of every queued call that reaches the window, that is ahead of each notification of
// the adding job.
class NotificationWatch : public QObject
{
public:
    NotificationWatch(MainWindow& window, std::function<void()> before)
        : window(window), before(std::move(before))
    {
        window.installEventFilter(this);
    }
    ~NotificationWatch() override { window.removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window && event->type() == QEvent::MetaCall)
            before();
        return false;
    }

private:
    MainWindow& window;
    std::function<void()> before;
};

// The system's folder dialog is a modal Qt dialog under the offscreen platform. Answers the next one with
// `folder` (empty: cancel); the caption it showed comes back, "" while none came.
std::shared_ptr<QString> answerFolderDialog(const QString& folder, int timeoutMs = 10000)
{
    auto caption = std::make_shared<QString>();
    vimotest::whenModalAppears(
        [folder, caption](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog)
                return;
            *caption = dialog->windowTitle();
            if (folder.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->setDirectory(folder);
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->clear();
            static_cast<QDialog*>(dialog)->accept(); // what its accept button does
        },
        timeoutMs);
    return caption;
}

// Presses "Add Songs" and hands back the program's own folder dialog it shows.
QFileDialog* openOwnDialog(MainWindow& window)
{
    store(QStringLiteral("Force Qt dialog"), 1);
    addSongsButton(window)->click();
    QFileDialog* dialog = window.ownFolderDialog();
    if (dialog && !QTest::qWaitForWindowExposed(dialog))
        qWarning("folder dialog not shown");
    return dialog;
}

QStringList without(const QStringList& messages, const QString& prefix)
{
    QStringList kept;
    for (const QString& message : messages)
        if (!message.startsWith(prefix))
            kept << message;
    return kept;
}

// A file posing as an MP3: whoever reads it waits in open() until release(), then reads no song.
class BlockingFile
{
public:
    // A plain file on which this process holds a write lease: opening it for reading then waits until
    // the lease is given up. (A FIFO is refused before anything opens it.) The kernel tells the holder
    // of a lease that someone waits with SIGIO, which would end the process.
    explicit BlockingFile(const QString& path)
    {
        std::signal(SIGIO, SIG_IGN);
        descriptor = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        made = descriptor >= 0 && ::write(descriptor, "no song", 7) == 7 &&
               ::fcntl(descriptor, F_SETLEASE, F_WRLCK) == 0;
    }
    ~BlockingFile()
    {
        release();
        if (descriptor >= 0)
            ::close(descriptor);
    }
    BlockingFile(const BlockingFile&) = delete;
    BlockingFile& operator=(const BlockingFile&) = delete;
    bool isMade() const { return made; }
    // Lets the waiting reader on; without a reader there is nothing to release. While one waits, the
    // kernel is breaking the lease down to a read lease.
    bool release()
    {
        if (!made)
            return false;
        made = false;
        const bool waiting =
            QTest::qWaitFor([this]() { return ::fcntl(descriptor, F_GETLEASE) == F_RDLCK; }, 5000);
        return ::fcntl(descriptor, F_SETLEASE, F_UNLCK) == 0 && waiting;
    }

private:
    int descriptor = -1;
    bool made = false;
};

const QString refusalPrefix = QStringLiteral("Reading ID3 tags of file: ");

// The files of the refusal lines ("Reading ID3 tags of file: " + path + " ... " + reason), in order.
QStringList refusedFiles(const QStringList& messages)
{
    QStringList files;
    for (const QString& message : messages) {
        const int reason = message.lastIndexOf(QStringLiteral(" ... "));
        if (message.startsWith(refusalPrefix) && reason > refusalPrefix.size() && message.size() > reason + 5)
            files << message.mid(refusalPrefix.size(), reason - refusalPrefix.size());
    }
    return files;
}

// The Add Songs controller without a window: its relay fills a library of its own, its settings are the
// program's, and the grid it would focus and the job's end are flags.
struct LoneController
{
    QObject notified;
    QMutex mutex;
    TrackLibrary library{nullptr, nullptr};
    AddingRelay relay{&notified, &mutex,
                      AddingView{[this] { return &library; }, [] {}, [] {}, [](const QString&) {},
                                 [this](int, int, int, int) { jobEnded = true; }}};
    QSettings settings{QStringLiteral("Talvoren"), QStringLiteral("Vimo")};
    QTimer tick;
    bool gridFocused = false;
    bool jobEnded = false;
    AddSongsController adding{relay,
                              {[] { return true; }, [] {}, [] { return false; }, [this] { return &settings; },
                               [this] { return &tick; }, [this] { gridFocused = true; }}};
};

} // namespace

class TestAdding : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        store(QStringLiteral("Force Qt dialog"), 0);
        store(lastFolderKey, QVariant());
        QDir::setCurrent(QDir::tempPath());
    }

    void sameFolderTwiceIsAllDuplicates()
    {
        auto window = vimotest::openMainWindowWithSongs(fixture(QStringLiteral("rest")));
        QCOMPARE(songCount(*window), 19);

        const LogMark second;
        window->addFolder(QDir(fixture(QStringLiteral("rest"))));
        QVERIFY(second.waitForJobEnds());
        QCOMPARE(songCount(*window), 19);
        const QStringList messages = second.messages();
        QVERIFY2(messages.contains(QStringLiteral("19 files were not imported because they are duplicates "
                                                  "(same artist and same title).")),
                 qPrintable(messages.join('\n')));
        QCOMPARE(messages.filter(QStringLiteral("files are now available in Vimo.")),
                 (QStringList{QStringLiteral("19 files are now available in Vimo."),
                              QStringLiteral("19 files are now available in Vimo.")}));
        QVERIFY(messages.filter(QStringLiteral("no artist and title")).isEmpty());
    }

    void jobOfOneFileShowsNoPercentage()
    {
        auto window = vimotest::openMainWindow();
        PoolGate gate;
        const LogMark mark;
        QVERIFY(drop(*window, {fixture(QStringLiteral("single/one.mp3"))}));
        QVERIFY(window->isAdding());
        QStringList texts;
        bool addingAtLastNotification = true;
        NotificationWatch watch(*window, [&]() {
            texts << addSongsButton(*window)->text();
            addingAtLastNotification = window->isAdding();
        });
        gate.open();
        QVERIFY(mark.waitForJobEnds());
        texts << addSongsButton(*window)->text();
        QCOMPARE(texts.filter(QStringLiteral("%")), QStringList());
        QCOMPARE(texts.last(), buttonText);
        // The last progress value already ended the running state; the end notification came after it.
        QVERIFY(!addingAtLastNotification);
        QCOMPARE(songCount(*window), 1);
        QVERIFY(hasSong(*window, QStringLiteral("Solo"), QStringLiteral("Only One")));
        QCOMPARE(mark.messages(), (QStringList{QString(), QStringLiteral("Start of ADDING files"),
                                               QStringLiteral("Starting to add 1 files to Vimo."),
                                               QStringLiteral("1 files are now available in Vimo."),
                                               QStringLiteral("Adding of files has finished."),
                                               QStringLiteral("1 files are now available in Vimo.")}));
    }

    void logLinesOfAJobInOrder()
    {
        auto window = vimotest::openMainWindow();
        PoolGate gate;
        const LogMark mark;
        window->addFolder(QDir(fixture(QStringLiteral("mixed"))));
        gate.open();
        QVERIFY(mark.waitForJobEnds());
        const QStringList messages = mark.messages();
        QCOMPARE(
            without(messages, refusalPrefix),
            (QStringList{QString(), QStringLiteral("Start of ADDING files"),
                         QStringLiteral("Starting to add 5 files to Vimo."),
                         QStringLiteral("2 files are now available in Vimo."),
                         QStringLiteral("Adding of files has finished."),
                         QStringLiteral("2 files are now available in Vimo."),
                         QStringLiteral("1 files were not imported because they are duplicates (same artist "
                                        "and same title)."),
                         QStringLiteral("2 files were not imported because they have no artist and title "
                                        "ID3 tags (up to version 2.2 is supported) or are corrupt.")}));
        // The refusals come from the pool threads while the job runs, between its start and its last value.
        const int started = messages.indexOf(QStringLiteral("Starting to add 5 files to Vimo."));
        const int last = messages.indexOf(QStringLiteral("2 files are now available in Vimo."));
        QStringList refused = refusedFiles(messages.mid(started + 1, last - started - 1));
        refused.sort();
        QCOMPARE(refused, (QStringList{fixture(QStringLiteral("mixed/m-corrupt.mp3")),
                                       fixture(QStringLiteral("mixed/m-untagged.mp3"))}));
        // The request's empty message leaves a line with nothing but the time, then an empty line.
        QVERIFY(mark.text().contains(QRegularExpression(QStringLiteral("\t::\t\n\n[0-9-]+ [0-9-]+\t::\tStart "
                                                                       "of ADDING files\n"))));
        QCOMPARE(songCount(*window), 2);
    }

    void droppedTextFileIsRefused()
    {
        auto window = vimotest::openMainWindow();
        const LogMark mark;
        const QString notes = fixture(QStringLiteral("single/readme.txt"));
        QVERIFY(drop(*window, {notes}));
        QVERIFY(mark.waitForJobEnds());
        const QStringList messages = mark.messages();
        QVERIFY(messages.contains(QStringLiteral("Starting to add 1 files to Vimo.")));
        QCOMPARE(refusedFiles(messages), QStringList{notes});
        QVERIFY(messages.contains(
            QStringLiteral("1 files were not imported because they have no artist and title "
                           "ID3 tags (up to version 2.2 is supported) or are corrupt.")));
        QCOMPARE(songCount(*window), 0);
    }

    void escapeCancelsTheJob()
    {
        auto window = vimotest::openMainWindowWithSongs(fixture(QStringLiteral("rest")));
        QCOMPARE(songCount(*window), 19);

        const LogMark mark;
        {
            PoolGate gate;
            window->addFolder(QDir(fixture(QStringLiteral("many"))));
            QVERIFY(window->isAdding());
            QTest::keyClick(window.get(), Qt::Key_Escape);
        }
        QVERIFY(mark.waitForJobEnds());
        // The job's own end follows its cancellation; it must not end the job a second time.
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(mark.messages(),
                 (QStringList{QString(), QStringLiteral("Start of ADDING files"),
                              QStringLiteral("Starting to add 250 files to Vimo."),
                              QStringLiteral("Adding of files has been cancelled by the user."),
                              QStringLiteral("19 files are now available in Vimo (CANCEL).")}));
        QCOMPARE(songCount(*window), 19);
        QVERIFY(!window->isAdding());
        QCOMPARE(addSongsButton(*window)->text(), buttonText);
    }

    void dropWhileAddingIsRefused()
    {
        auto window = vimotest::openMainWindow();
        const LogMark mark;
        const QStringList later{fixture(QStringLiteral("later"))};
        {
            PoolGate gate;
            // A drag that entered before the job started is dropped while it runs.
            QVERIFY(dragEnter(*window, later));
            window->addFolder(QDir(fixture(QStringLiteral("rest"))));
            sendDrop(*window, later);
            // A drag that enters while the job runs is not taken at all.
            QVERIFY(!dragEnter(*window, later));
            QVERIFY(!drop(*window, later));
        }
        QVERIFY(mark.waitForJobEnds());
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(mark.messages().filter(QStringLiteral("Start of ADDING files")).size(), 1);
        QCOMPARE(songCount(*window), 19);
        QVERIFY(!hasSong(*window, QStringLiteral("Latecomer"), QStringLiteral("Later 1")));
        QVERIFY(dragEnter(*window, later));
    }

    void firstJobShowsTheGridBeforeAnySong()
    {
        auto window = vimotest::openMainWindow();
        QTableWidget* table = libraryTable(*window);
        QVERIFY(window->hintCell());
        QCOMPARE(table->item(0, 0), window->hintCell());
        QCOMPARE(table->selectionMode(), QAbstractItemView::NoSelection);
        const LogMark mark;
        PoolGate gate;
        window->addFolder(QDir(fixture(QStringLiteral("grid-10"))));
        QTRY_VERIFY(!window->hintCell());
        // Not one file has been read yet, yet the table has left its hint state.
        QCOMPARE(songCount(*window), 0);
        QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(window->styleSheet().startsWith(
            QStringLiteral("QScrollBar:horizontal {border: 1px solid grey;")));
        for (int row = 0; row < table->rowCount(); ++row)
            for (int column = 0; column < table->columnCount(); ++column)
                QVERIFY(!table->item(row, column) || table->item(row, column)->text().isEmpty());
        gate.open();
        QVERIFY(mark.waitForJobEnds());
        QCOMPARE(songCount(*window), 10);
        QCOMPARE(table->currentItem()->text(), QStringLiteral("Grid Band\nGrid Song 01"));
    }

    // The accept label counts the songs of the folder the dialog points at, on the controller alone: the
    // start folder remembered from the last time, a folder entered, a song folder pointed at; a file or a
    // missing folder leaves the label as it was.
    void acceptLabel_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("pointedAt");
        QTest::addColumn<QString>("label");
        const QString rock = QStringLiteral("ADD all 12 MP3s in\n\"Rock\"\n(+ add its subdirectories)");
        QTest::newRow("Rock with a subfolder") << "Rock" << QString() << rock;
        // Hidden songs count, links and other files do not; a hidden subfolder is no subfolder.
        QTest::newRow("Flat without subfolders") << "Flat" << QString() << "ADD all 5 MP3s in\n\"Flat\"";
        // Songs of other formats count too; the label then says songs.
        QTest::newRow("songs of several formats") << "Blend" << QString() << "ADD all 6 songs in\n\"Blend\"";
        QTest::newRow("song folder pointed at") << "Flat"
                                                << "Rock" << rock;
        QTest::newRow("file pointed at") << "Rock"
                                         << "later/later-1.mp3" << rock;
        QTest::newRow("missing folder") << "Rock"
                                        << "no such folder" << rock;
    }
    void acceptLabel()
    {
        QFETCH(QString, folder);
        QFETCH(QString, pointedAt);
        QFETCH(QString, label);
        LoneController lone;
        lone.settings.setValue(lastFolderKey, QDir::toNativeSeparators(fixture(folder)));
        lone.adding.addFiles();
        QFileDialog* dialog = lone.adding.dialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(),
                 QStringLiteral("Please select one directory and press the \"ADD all MP3s\" button"));
        QCOMPARE(dialog->labelText(QFileDialog::FileType), QStringLiteral("Filter:"));
        if (!pointedAt.isEmpty())
            emit dialog->currentChanged(fixture(pointedAt));
        QCOMPARE(dialog->labelText(QFileDialog::Accept), label);
        // Entering another folder is followed too.
        emit dialog->directoryEntered(fixture(QStringLiteral("later")));
        QCOMPARE(dialog->labelText(QFileDialog::Accept), QStringLiteral("ADD all 3 MP3s in\n\"later\""));
    }

    void ownDialogOneFolderStoresThatFolder()
    {
        auto window = vimotest::openMainWindow();
        QFileDialog* dialog = openOwnDialog(*window);
        QVERIFY(dialog);
        const LogMark mark;
        const QString rock = fixture(QStringLiteral("Rock"));
        // The user walks into the folder and presses the accept button, which names it.
        dialog->setDirectory(rock);
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->clear();
        QCOMPARE(dialog->selectedFiles(), QStringList{rock});
        static_cast<QDialog*>(dialog)->accept(); // what its accept button does
        QVERIFY(mark.waitForJobEnds());
        QCOMPARE(songCount(*window), 13);
        QCOMPARE(storedLastFolder(), QDir::toNativeSeparators(rock));
        QVERIFY(libraryTable(*window)->hasFocus());
    }

    // What the program's own dialog answers is added, and the folder of the answer is remembered for the
    // next time: a folder, several files (Qt's dialog in folder mode accepts only a folder; the files
    // reach the program as a selection that another dialog would accept), or nothing at all, which adds
    // the working folder and remembers nothing.
    void ownDialogAnswerIsAddedAndRemembered_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("songs");
        QTest::addColumn<QString>("remembered");
        QTest::newRow("one folder") << "Rock" << QString() << 13 << "Rock";
        QTest::newRow("two files") << "drop/A"
                                   << "\"a-2.mp3\" \"a-1.mp3\"" << 2 << "drop/A";
        QTest::newRow("nothing") << "later" << QString() << 3 << QString();
    }
    void ownDialogAnswerIsAddedAndRemembered()
    {
        QFETCH(QString, folder);
        QFETCH(QString, typed);
        QFETCH(int, songs);
        QFETCH(QString, remembered);
        LoneController lone;
        lone.settings.setValue(lastFolderKey, QStringLiteral("/previous/choice"));
        lone.adding.addFiles();
        QFileDialog* dialog = lone.adding.dialog();
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        if (remembered.isEmpty()) {
            // A folder-mode dialog always answers at least the folder it shows; an empty answer is what a
            // dialog gives when nothing at all is chosen.
            QVERIFY(QDir::setCurrent(fixture(folder)));
            dialog->setFileMode(QFileDialog::ExistingFiles);
        } else {
            dialog->setDirectory(fixture(folder));
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(typed);
        if (remembered.isEmpty()) {
            for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>())
                if (view->selectionModel())
                    view->selectionModel()->clear();
            QCOMPARE(dialog->selectedFiles(), QStringList());
        }
        emit dialog->accepted();
        QTRY_VERIFY(lone.jobEnded);
        QCOMPARE(lone.library.trackCount(), songs);
        QCOMPARE(lone.settings.value(lastFolderKey).toString(),
                 remembered.isEmpty() ? QStringLiteral("/previous/choice")
                                      : QDir::toNativeSeparators(fixture(remembered)));
        QVERIFY(lone.gridFocused);
    }

    // A folder typed with its full path and Enter at once: the dialog ends before the completion has read
    // that folder, and the completion list it opens afterwards must not stay over the grid, where it would
    // take the next click for itself.
    void completionListGoesWithTheDialog()
    {
        LoneController lone;
        lone.settings.setValue(lastFolderKey, QDir::toNativeSeparators(fixture(QString())));
        lone.adding.addFiles();
        QFileDialog* dialog = lone.adding.dialog();
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        auto* line = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(line && line->completer());
        line->setFocus();
        QTest::keyClicks(line, fixture(QStringLiteral("Rock/Live")));
        QTest::keyClick(line, Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
        QTRY_VERIFY(lone.jobEnded);
        QTest::qWait(500);
        QVERIFY(!line->completer()->popup()->isVisible());
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
    }

    void systemDialogAddsTheChosenFolder()
    {
        auto window = vimotest::openMainWindow();
        const LogMark mark;
        const auto caption = answerFolderDialog(fixture(QStringLiteral("later")));
        addSongsButton(*window)->click();
        QCOMPARE(*caption, QStringLiteral("Please select one folder containing MP3 files."));
        QVERIFY(mark.waitForJobEnds());
        QCOMPARE(songCount(*window), 3);
        QCOMPARE(storedLastFolder(), QDir::toNativeSeparators(fixture(QStringLiteral("later"))));
        QVERIFY(!window->ownFolderDialog());
    }

    void addSongsDoesNothingWhileAJobRuns()
    {
        auto window = vimotest::openMainWindow();
        const LogMark mark;
        {
            PoolGate gate;
            window->addFolder(QDir(fixture(QStringLiteral("rest"))));
            // Were a dialog to open, the click would not return before it is answered.
            const auto caption = answerFolderDialog(QString(), 1000);
            addSongsButton(*window)->click();
            QTest::keyClick(window.get(), Qt::Key_A, Qt::AltModifier);
            QVERIFY(!window->ownFolderDialog());
            QCOMPARE(*caption, QString());
        }
        QVERIFY(mark.waitForJobEnds());
        QCOMPARE(addSongsButton(*window)->text(), buttonText);
        // Afterwards the button works again: with songs in the library it opens the program's own dialog.
        QTest::keyClick(window.get(), Qt::Key_A, Qt::AltModifier);
        QVERIFY(window->ownFolderDialog());
        QVERIFY(window->ownFolderDialog()->isVisible());
    }

    void percentageOnTheButton_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<QStringList>("texts");
        // 250 files: the step is 2, so the text changes at most every second file.
        QTest::newRow("250 files") << "many" << QList<int>{1, 2, 3, 4, 5, 6, 125, 126, 249}
                                   << QStringList{buttonText, "0 %",  "0 %",  "1 %", "1 %",
                                                  "2 %",      "50 %", "50 %", "99 %"};
        QTest::newRow("50 files") << "fifty" << QList<int>{1, 2, 25, 49}
                                  << QStringList{"2 %", "4 %", "50 %", "98 %"};
    }
    void percentageOnTheButton()
    {
        QFETCH(QString, folder);
        QFETCH(QList<int>, values);
        QFETCH(QStringList, texts);
        auto window = vimotest::openMainWindow();
        const LogMark mark;
        {
            PoolGate gate;
            window->addFolder(QDir(fixture(folder)));
            QTRY_VERIFY(!window->hintCell());
            // The watcher's own values depend on the pool's pace and on Qt's throttling; these are values
            // it may report, in order, while the job waits.
            for (int index = 0; index < values.size(); ++index) {
                window->NotifyOfAddTrackProgress(values.at(index));
                QCOMPARE(addSongsButton(*window)->text(), texts.at(index));
            }
        }
        QVERIFY(mark.waitForJobEnds());
        QCOMPARE(addSongsButton(*window)->text(), buttonText);
        QCOMPARE(songCount(*window), folder == QLatin1String("many") ? 250 : 50);
    }

    void oneDropWithFoldersAndFilesIsOneJob()
    {
        auto window = vimotest::openMainWindow();
        const LogMark mark;
        // With one pool thread the files are read in the job's order, and so are the refusals logged.
        const int threads = QThreadPool::globalInstance()->maxThreadCount();
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        const bool dropped =
            drop(*window, {fixture(QStringLiteral("drop/A")), fixture(QStringLiteral("drop/notes.txt")),
                           fixture(QStringLiteral("drop/B")), fixture(QStringLiteral("drop/loose.mp3"))});
        const bool ended = dropped && mark.waitForJobEnds();
        QThreadPool::globalInstance()->setMaxThreadCount(threads);
        QVERIFY(dropped);
        QVERIFY(ended);
        const QStringList messages = mark.messages();
        QCOMPARE(messages.filter(QStringLiteral("Start of ADDING files")).size(), 1);
        QCOMPARE(messages.filter(QStringLiteral("Starting to add")),
                 QStringList{QStringLiteral("Starting to add 7 files to Vimo.")});
        QCOMPARE(refusedFiles(messages), (QStringList{fixture(QStringLiteral("drop/A/a-untagged.mp3")),
                                                      fixture(QStringLiteral("drop/notes.txt")),
                                                      fixture(QStringLiteral("drop/B/b-untagged.mp3"))}));
        QCOMPARE(songCount(*window), 4);
        for (const char* title : {"A One", "A Two", "B One", "Loose"})
            QVERIFY2(hasSong(*window, QStringLiteral("Dropper"), QLatin1String(title)), title);
    }

    void resultsReadyOutOfOrderAreKept()
    {
        QTemporaryDir folder;
        const QString slow = folder.filePath(QStringLiteral("slow.mp3"));
        BlockingFile blocking(slow);
        if (!blocking.isMade())
            QSKIP("This file system grants no file leases, which hold the reading of one file.");
        auto window = vimotest::openMainWindow();
        const int threads = QThreadPool::globalInstance()->maxThreadCount();
        QThreadPool::globalInstance()->setMaxThreadCount(qMax(2, threads));
        const LogMark mark;
        // The first file holds its thread; the others are read meanwhile, so their results are ready while
        // the first one is not.
        window->addFileList({slow, fixture(QStringLiteral("later/later-1.mp3")),
                             fixture(QStringLiteral("later/later-2.mp3")),
                             fixture(QStringLiteral("later/later-3.mp3"))});
        const bool handedOver = QTest::qWaitFor([&window]() { return songCount(*window) == 3; }, 5000);
        const bool released = blocking.release();
        const bool ended = mark.waitForJobEnds();
        QThreadPool::globalInstance()->setMaxThreadCount(threads);
        QVERIFY(handedOver);
        QVERIFY(released);
        QVERIFY(ended);
        QCOMPARE(songCount(*window), 3);
        QCOMPARE(refusedFiles(mark.messages()), QStringList{slow});
        QVERIFY(mark.messages().contains(QStringLiteral("3 files are now available in Vimo.")));
    }

    void requestWaitingBehindACancelledJobRunsToItsEnd()
    {
        auto window = vimotest::openMainWindow();
        const LogMark mark;
        {
            PoolGate gate;
            window->addFolder(QDir(fixture(QStringLiteral("many"))));
            window->addFolder(QDir(fixture(QStringLiteral("later"))));
            QTest::keyClick(window.get(), Qt::Key_Escape);
        }
        // The cancelled job has ended on its threads before the window hears of it: its cancellation and
        // its end are both on their way when the waiting job starts.
        QThreadPool::globalInstance()->waitForDone();
        QVERIFY(mark.waitForJobEnds(2));
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(songCount(*window), 3);
        QCOMPARE(mark.messages().filter(QStringLiteral("Adding of files has")),
                 (QStringList{QStringLiteral("Adding of files has been cancelled by the user."),
                              QStringLiteral("Adding of files has finished.")}));
        QCOMPARE(mark.messages().last(), QStringLiteral("3 files are now available in Vimo."));
    }

    void requestWhileAJobEndsKeepsBothJobs()
    {
        auto window = vimotest::openMainWindow();
        const LogMark mark;
        bool requested = false;
        // The first notification that finds the running state over follows the last progress value: the
        // job has read its last file and its end is still on the way.
        NotificationWatch watch(*window, [&]() {
            if (requested || window->isAdding() || mark.text().contains(QStringLiteral("Adding of files")))
                return;
            requested = true;
            window->addFolder(QDir(fixture(QStringLiteral("later"))));
        });
        window->addFolder(QDir(fixture(QStringLiteral("rest"))));
        QVERIFY(mark.waitForJobEnds(2, 10000));
        QVERIFY(requested);
        QCOMPARE(songCount(*window), 22);
        QVERIFY(hasSong(*window, QStringLiteral("Latecomer"), QStringLiteral("Later 3")));
        QVERIFY(hasSong(*window, QStringLiteral("Rest"), QStringLiteral("Rock Song 010")));
        const QStringList messages = mark.messages();
        QCOMPARE(messages.filter(QStringLiteral("Starting to add")),
                 (QStringList{QStringLiteral("Starting to add 19 files to Vimo."),
                              QStringLiteral("Starting to add 3 files to Vimo.")}));
        QCOMPARE(messages.filter(QStringLiteral("Adding of files has finished.")).size(), 2);
        QVERIFY(!window->isAdding());
    }
};

VIMO_TEST_MAIN(TestAdding)
#include "tst_adding.moc"
