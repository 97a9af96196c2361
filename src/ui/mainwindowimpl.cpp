// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/mainwindowimpl.h"

#include "audio/AllBase.h"
#include "audio/AllBaseBackend.h"
#include "base/appidentity.h"
#include "base/plaintext.h"
#include "base/platform.h"
#include "base/runlog.h"
#include "base/settings.h"
#include "camera/Snapshot.h"
#include "desktop/DesktopLink.h"
#include "desktop/NoticeBoard.h"
#include "library/AddingRelay.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/KioskGuard.h"
#include "party/PartyAlbum.h"
#include "party/PlayQueue.h"
#include "party/StopMotion.h"
#include "party/wishing.h"
#include "phones/PhoneDesk.h"
#include "phones/PhonePanel.h"
#include "ui/About.h"
#include "ui/ConfigDialog.h"
#include "ui/Floater.h"
#include "ui/QueueView.h"
#include "ui/gridshape.h"
#include "ui/songcells.h"
#include "ui/style.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QMutex>
#include <QMutexLocker>
#include <QPixmapCache>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <new>
#include <tuple>

bool fullscreenActive = false;

namespace {

QString criticalTitle()
{
    return QStringLiteral("Vimo - ") + MainWindow::tr("critical error");
}

bool askForWebcam()
{
    QMessageBox question(QMessageBox::Question, MainWindow::tr("Vimo quick setup"),
                         MainWindow::tr("Do you want to use a webcam?"), QMessageBox::Yes | QMessageBox::No,
                         nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    question.setButtonText(QMessageBox::Yes, MainWindow::tr("Yes"));
    question.setButtonText(QMessageBox::No, MainWindow::tr("No"));
    return question.exec() == QMessageBox::Yes;
}

const QString lastFolderKey = QStringLiteral("LastNewMp3Directory");

// Scroll bars, rows, columns and column widths of the grid for `songs` cells in the table as it is now.
GridShape applyGridShape(QTableWidget* table, int songs)
{
    const int width = table->width();
    const int height = table->height();
    const bool scrolls = gridScrolls(width, height, songs);
    table->horizontalScrollBar()->hide();
    table->verticalScrollBar()->setVisible(scrolls);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const GridShape shape = gridShape(width, height, songs, table->lineWidth(),
                                      scrolls ? table->verticalScrollBar()->width() : 0);
    // Rows added below are born with their height: resizing them one by one makes the header recount
    // every row's position each time, which grows with the square of the rows.
    table->verticalHeader()->setDefaultSectionSize(shape.rowHeight);
    table->setRowCount(shape.rows);
    table->setColumnCount(shape.columns);
    for (int column = 0; column < shape.columns - 1; ++column)
        table->setColumnWidth(column, shape.columnWidth);
    table->setColumnWidth(shape.columns - 1, shape.lastColumnWidth);
    return shape;
}

// Every place of the grid from `first` on (row by row) becomes a filler cell.
void fillEmptyPlaces(QTableWidget* table, int first, int columns)
{
    const int places = table->rowCount() * columns;
    for (int place = first; place < places; ++place) {
        QTableWidgetItem* cell = table->item(place / columns, place % columns);
        if (cell) {
            styleFillerCell(cell);
            continue;
        }
        cell = new QTableWidgetItem;
        styleFillerCell(cell);
        table->setItem(place / columns, place % columns, cell);
    }
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::MainWindow>())
{
    fullscreenActive = false;
    libraryMutex = std::make_unique<QMutex>();
    addingRelay = std::make_unique<AddingRelay>(
        this, libraryMutex.get(),
        AddingView{[this]() {
                       if (!library)
                           library = std::make_unique<TrackLibrary>(songEndSync, this);
                       return library.get();
                   },
                   [this]() { showLibraryTable(); },
                   [this]() { refreshLibraryTable(libraryTable()->currentSearchText(), false); },
                   [this](const QString& progress) {
                       ui->addSongsButton->setText(progress.isEmpty() ? addSongsButtonText : progress);
                   },
                   [this](int added, int duplicates, int unreadable) {
                       if (desktop)
                           desktop->notices().post(NoticeBoard::addingNotice(added, duplicates, unreadable));
                       if (phoneDesk)
                           phoneDesk->publish();
                   }});

    initVimoResources();
    setWindowIcon(programIcon());

    runFolder();

    auto* backend = new (std::nothrow) AllBaseBackend;
    audioBackend.reset(backend);
    if (backend) {
        // The device's news comes from its audio thread; the notices are shown on this one.
        const auto postOnBoard = [this](QString (*text)()) {
            return [this, text] {
                if (desktop)
                    desktop->notices().post(text());
            };
        };
        connect(backend, &AllBaseBackend::deviceLost, this, postOnBoard(&NoticeBoard::deviceLostNotice),
                Qt::QueuedConnection);
        connect(backend, &AllBaseBackend::deviceBack, this, postOnBoard(&NoticeBoard::deviceBackNotice),
                Qt::QueuedConnection);
    }
    if (!audioBackend || !audioBackend->init(static_cast<quintptr>(winId()))) {
        QMessageBox::critical(
            nullptr, criticalTitle(),
            tr("The sound back end could not be initialized.") + QStringLiteral("\n\n") +
                tr("Please start Vimo again after you ensured that\nyour sound device is "
                   "correctly set up.") +
                QStringLiteral("\n\n") +
                tr("In many cases, all you need to do is plugging in\nand/or turning on your "
                   "speakers."));
        return;
    }

    settings = settingsStore();
    if (settings) {
        mode = PartyMode::stored(*settings);
        stopMotionSeconds = PartyMode::stopMotionSeconds(*settings);
    }
    kioskGuard = std::make_unique<KioskGuard>(settings);
    hostClock.start();
    // Without photos for wishes nobody is asked; a stop-motion film alone needs the camera all the same.
    useWebcam = mode.wishPhotos() ? askForWebcam() : mode.stopMotion();

    ui->setupUi(this);
    ui->myButtonSearchQuery->hide();
    ui->myButtonSongHistory->hide();
    ui->myButtonPause->hide();
    setAutoFillBackground(true);

    applyUiSettingsAndStyle();
    if (fullscreen)
        showFullScreen();
    else
        showNormal();

    addSongsButtonText = ui->addSongsButton->text();

    QTableWidget* queueTable = ui->myTableWidgetForQueue;
    queueTable->horizontalScrollBar()->hide();
    queueTable->verticalScrollBar()->hide();
    layoutQueueColumns();
    for (int column = 0; column < queueTable->columnCount(); ++column) {
        auto* cell = new (std::nothrow) QTableWidgetItem;
        if (!cell) {
            showOutOfMemory();
            continue;
        }
        styleTableCell(cell);
        queueTable->setItem(0, column, cell);
    }

    playQueue.reset(new (std::nothrow) PlayQueue(std::make_unique<QueueView>(queueTable, &gridCells)));
    if (!playQueue)
        showOutOfMemory();

    int deviceId = 0;
    int width = 1280;
    int height = 1024;
    int quality = 95;
    if (settings) {
        settings->beginGroup(QStringLiteral("Webcam"));
        deviceId = readIntOrWriteDefault(*settings, QStringLiteral("DirectX Device ID"), deviceId);
        width = readIntOrWriteDefault(*settings, QStringLiteral("Width"), width);
        height = readIntOrWriteDefault(*settings, QStringLiteral("Height"), height);
        settings->endGroup();
        settings->sync();
        quality = 100;
    }
    webcam = opencv::webcamForRun(
        useWebcam ? std::make_unique<opencv::Snapshot>(deviceId, width, height, quality) : nullptr,
        portraitDirectory);
    if (webcam && !portraitDirectory.isEmpty()) {
        partyAlbum = std::make_unique<PartyAlbum>(runFolder(), portraitDirectory);
        partyAlbum->update();
    }
    if (playQueue) {
        playQueue->startTimerHook = [this]() { startTimer(); };
        playQueue->snapshotHook = [this](bool showComment, const QString& fileName) {
            startSnapshotJob(showComment, portraitDirectory, fileName);
        };
        playQueue->unplayableHook = [this](const Track* track) {
            if (desktop)
                desktop->notices().post(NoticeBoard::unplayableNotice(track->artist(), track->title()));
        };
    }

    desktop = std::make_unique<DesktopLink>(this, libraryTable());
    if (useWebcam && !webcam)
        desktop->notices().post(NoticeBoard::noWebcamNotice());

    QTableWidget* table = libraryTable();
    table->setRowCount(1);
    table->setColumnCount(1);
    table->setColumnWidth(0, table->width());
    table->setRowHeight(0, table->height());
    hintItem = new QTableWidgetItem(tr("Drag a folder or mp3 files here") + QStringLiteral("\n\n") +
                                    tr("F1 shows the manual"));
    styleTableCell(hintItem);
    hintItem->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    QFont hintFont(QStringLiteral("Arial"), 22);
    hintFont.setStyleStrategy(QFont::PreferAntialias);
    hintItem->setFont(hintFont);
    table->setItem(0, 0, hintItem);

    queueTable->setSelectionMode(QAbstractItemView::NoSelection);
    table->setSelectionMode(QAbstractItemView::NoSelection);

    applyPauseButtonStyle(ui->myButtonPause);

    connect(ui->myButtonPause, &QPushButton::clicked, this, &MainWindow::pauseWasPressed);
    // The screen's geometry stands in for the desktop's resolution change.
    if (QWindow* window = windowHandle()) {
        auto watchScreen = [this](QScreen* screen) {
            if (screen)
                connect(screen, &QScreen::geometryChanged, this, [this, screen]() {
                    screenResolutionHasChanged(QGuiApplication::screens().indexOf(screen));
                });
        };
        watchScreen(window->screen());
        connect(window, &QWindow::screenChanged, this, watchScreen);
    }
    connect(this, &MainWindow::notifyFromBaseThread, this, &MainWindow::NotifyQueueOfFinishedSong,
            Qt::QueuedConnection);

    requestKeepAwake();

    addSongsAction = std::make_unique<QAction>(tr("Add Songs"), this);
    addSongsAction->setShortcut(QKeySequence(tr("Alt+A")));
    escapeShortcut = std::make_unique<QShortcut>(QKeySequence(Qt::Key_Escape), this);
    connect(escapeShortcut.get(), &QShortcut::activated, this, &MainWindow::cancelAddingThread);
    partyModeShortcut = std::make_unique<QShortcut>(QKeySequence(tr("Ctrl+M")), this);
    connect(partyModeShortcut.get(), &QShortcut::activated, this, &MainWindow::openPartyMode);
    skipShortcut = std::make_unique<QShortcut>(QKeySequence(tr("Ctrl+N")), this);
    connect(skipShortcut.get(), &QShortcut::activated, this, &MainWindow::skipSong);
    // Delete takes back the wish whose queue cell the host clicked: the queue row takes a click for that,
    // though nothing else there reacts to one.
    queueTable->setEnabled(true);
    queueTable->setFocusPolicy(Qt::ClickFocus);
    removeShortcut = std::make_unique<QShortcut>(QKeySequence(QKeySequence::Delete), queueTable, nullptr,
                                                 nullptr, Qt::WidgetShortcut);
    connect(removeShortcut.get(), &QShortcut::activated, this,
            [this]() { removeWish(ui->myTableWidgetForQueue->currentColumn()); });
    manualShortcut = std::make_unique<QShortcut>(QKeySequence(Qt::Key_F1), this);
    connect(manualShortcut.get(), &QShortcut::activated, this, &MainWindow::openManual);
    fullscreenAction = std::make_unique<QAction>(this);
    fullscreenAction->setShortcut(QKeySequence(tr("Ctrl+F")));
    connect(addSongsAction.get(), &QAction::triggered, this, &MainWindow::addFiles);
    connect(ui->addSongsButton, &QPushButton::clicked, this, &MainWindow::addFiles);
    connect(ui->aboutButton, &QPushButton::clicked, this, [this]() { aboutBox(); });
    connect(fullscreenAction.get(), &QAction::triggered, this, &MainWindow::toggleFullscreen);
    addAction(addSongsAction.get());
    addAction(fullscreenAction.get());
    updateTimer = std::make_unique<QTimer>();
    connect(updateTimer.get(), &QTimer::timeout, this, &MainWindow::timerUpdate);
    createPhoneDesk(width, height);

    connect(desktop.get(), &DesktopLink::pauseToggleRequested, ui->myButtonPause, &QPushButton::click);
    connect(desktop.get(), &DesktopLink::raiseRequested, this, [this]() { DesktopLink::bringToFront(this); });
    desktop->setPositionSource(
        [this]() { return playQueue ? qint64(playQueue->secondsElapsed()) * 1000000 : qint64(0); });
    ui->aboutButton->setAccessibleName(tr("About Vimo"));
    ui->aboutButton->setAccessibleDescription(tr("Shows the version, the manual and the log of this party"));
    ui->addSongsButton->setAccessibleName(tr("Add Songs"));
    ui->addSongsButton->setAccessibleDescription(ui->addSongsButton->toolTip());
    ui->myButtonPause->setAccessibleName(tr("Pause"));
    ui->myButtonPause->setAccessibleDescription(tr("Pauses the playing song or plays it on"));
    ui->myTableWidgetForQueue->setAccessibleName(tr("Queue"));
    ui->myTableWidgetForQueue->setAccessibleDescription(tr("The playing song and the wishes after it"));
    table->setAccessibleName(tr("Songs"));
    table->setAccessibleDescription(tr("Arrow keys choose a song, Enter wishes it"));
    // Tab leaves the grid for the genre buttons, Pause and About; Add Songs has Alt+A.
    ui->addSongsButton->setFocusPolicy(Qt::ClickFocus);
    desktop->chainKeyboard(table, {ui->myButtonPause, ui->aboutButton});

    applyPartyMode(mode);
    initFailed = false;
    setAcceptDrops(true);
}

MainWindow::~MainWindow()
{
    if (!initFailed) {
        addingRelay->cancelAndWait();
    }
    // No phone may reach a song or the queue once they start to go.
    phoneDesk.reset();
    delete aboutDialog;
    aboutDialog = nullptr;
    floater.reset();
    delete fileDialog;
    if (updateTimer)
        updateTimer->stop();
    library.reset();
    updateTimer.reset();
    fullscreenAction.reset();
    addSongsAction.reset();
    escapeShortcut.reset();
    manualShortcut.reset();
    desktop.reset();
    partyModeShortcut.reset();
    skipShortcut.reset();
    removeShortcut.reset();
    snapshotFuture.waitForFinished();
    finishStopMotion();
    partyAlbum.reset();
    webcam.reset();
    playQueue.reset();
    if (audioBackend) {
        audioBackend->free();
        audioBackend.reset();
    }
    releaseSettingsStore(settings);
    libraryMutex.reset();
}

QTableWidgetSearchable* MainWindow::libraryTable() const
{
    return ui->myTableWidgetForLibrary;
}

void MainWindow::applyUiSettingsAndStyle()
{
    // The border's hue gives the window a new palette twice a second and the style caches what it paints
    // per palette, so Qt's default 10 MB of cached pixmaps would fill up within minutes with colours that
    // come back only once a sweep. A small cache paints just as fast.
    QPixmapCache::setCacheLimit(1024);
    setStyleColours();
    fullscreen = 0;
    if (settings) {
        settings->beginGroup(QStringLiteral("UI"));
        fullscreen = readIntOrWriteDefault(*settings, QStringLiteral("Fullscreen"), fullscreen);
        fullscreenActive = fullscreen != 0;
        settings->endGroup();
        settings->sync();
    }
    ui->addSongsButton->setStyleSheet(bigButtonStyleSheet());
    ui->aboutButton->setStyleSheet(bigButtonStyleSheet());
    ui->myTableWidgetForQueue->setStyleSheet(queueTableStyleSheet());
    libraryTable()->setStyleSheet(libraryTableStyleSheet());
}

void MainWindow::showOutOfMemory()
{
    // Without a parent, so the window's black style sheet does not hide the text.
    QMessageBox::critical(nullptr, criticalTitle(), tr("Out of memory."));
}

void MainWindow::layoutQueueColumns()
{
    QTableWidget* table = ui->myTableWidgetForQueue;
    const int columns = qMax(1, table->columnCount());
    const int width = table->width() + (3 - columns) * table->lineWidth();
    for (int column = 0; column < columns; ++column)
        table->setColumnWidth(column, width / columns + (column == columns - 1 ? width % columns : 0));
    for (int row = 0; row < table->rowCount(); ++row)
        table->setRowHeight(row, 100);
}

void MainWindow::showLibraryTable()
{
    QTableWidgetSearchable* table = libraryTable();
    table->removeCellWidget(0, 0);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSortingEnabled(false);
    setStyleSheet(scrollBarStyleSheet());
    hintItem = nullptr; // the refresh replaces the hint cell, which the table owns
    refreshLibraryTable(QString(), false);
    connect(table, &QTableWidget::itemActivated, this, &MainWindow::itemWasActivated);
    connect(table, &QTableWidget::itemSelectionChanged, this, &MainWindow::selectionHasChanged);
    table->clearSelection();
    table->setFocusPolicy(Qt::StrongFocus);
    table->activateWindow();
    table->setCurrentCell(0, 0);
    table->setFocus(Qt::OtherFocusReason);
}

void MainWindow::startTimer()
{
    if (updateTimer)
        updateTimer->start(1000);
}

void MainWindow::aboutBox(int result)
{
    Q_UNUSED(result)
    if (aboutDialog) {
        dismissAboutBox();
        libraryTable()->setFocus(Qt::OtherFocusReason);
        return;
    }
    aboutDialog = new About(this);
    connect(aboutDialog, &QDialog::accepted, this, [this]() { aboutBox(); });
    connect(aboutDialog, &About::partyModeWanted, this, &MainWindow::openPartyMode, Qt::QueuedConnection);
    // Always on top, it must leave free the button that closes it, even in the smallest window.
    const QScreen* screen = windowHandle() ? windowHandle()->screen() : QGuiApplication::primaryScreen();
    aboutDialog->move(aboutBoxPosition(
        frameGeometry(), QRect(ui->aboutButton->mapToGlobal(QPoint(0, 0)), ui->aboutButton->size()),
        aboutDialog->frameGeometry().size(), screen ? screen->availableGeometry() : QRect()));
}

void MainWindow::dismissAboutBox()
{
    if (!aboutDialog)
        return;
    // accepted() may still be on its way out of the dialog: let the event loop delete it, and hear
    // nothing more from it ("OK" both accepts and closes, which would otherwise open a new box).
    aboutDialog->disconnect(this);
    aboutDialog->hide();
    aboutDialog->deleteLater();
    aboutDialog = nullptr;
}

void MainWindow::openManual()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(manualPath()));
}

void MainWindow::cancelAddingThread()
{
    addingRelay->cancel();
}

void MainWindow::closeDialogs()
{
    if (isAdding())
        cancelAddingThread();
    if (fileDialog)
        fileDialog->close();
    if (aboutDialog)
        aboutDialog->close();
    if (floater)
        floater->close();
}

void MainWindow::shutdown()
{
    if (!hostMayAct())
        return;
    closeDialogs();
    close();
}

void MainWindow::toggleFullscreen()
{
    if (isFullScreen() && !hostMayAct())
        return;
    if (isFullScreen()) {
        showNormal();
        fullscreen = 0;
        fullscreenActive = false;
    } else {
        showFullScreen();
        fullscreen = 1;
        fullscreenActive = true;
    }
    if (settings) {
        settings->beginGroup(QStringLiteral("UI"));
        settings->setValue(QStringLiteral("Fullscreen"), fullscreen);
        settings->endGroup();
        settings->sync();
    }
}

void MainWindow::screenResolutionHasChanged(int screen)
{
    Q_UNUSED(screen)
    QMutexLocker lock(libraryMutex.get());
    layoutQueueColumns();
    refreshLibraryTable(libraryTable()->currentSearchText(), false);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    fitTables();
    QWidget::resizeEvent(event);
}

void MainWindow::fitTables()
{
    if (QTableWidgetSearchable* table = libraryTable()) {
        QMutexLocker lock(libraryMutex.get());
        if (table->rowCount() == 1 && table->columnCount() == 1) {
            table->setRowHeight(0, table->height());
            table->setColumnWidth(0, table->width());
        } else {
            refreshLibraryTable(table->currentSearchText(), false);
        }
        layoutQueueColumns();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // At a party the screen belongs to the guests: in full screen the window system's close (title bar,
    // Alt+F4) is refused, and only the About box's quit button ends the program.
    // In kiosk mode the window system's close is quitting too, and asks for the host PIN.
    if (event->spontaneous() && (fullscreenActive || !hostMayAct())) {
        event->ignore();
        return;
    }
    closeDialogs();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")) && !isAdding())
        event->acceptProposedAction();
}

// ---- Party modes ----

bool MainWindow::hostMayAct()
{
    if (kioskGuard->actionIsFree())
        return true;
    bool wrong = false;
    for (;;) {
        if (kioskGuard->locked(hostClock.elapsed())) {
            QMessageBox locked(QMessageBox::Information, tr("Host PIN"),
                               tr("Too many wrong PINs: please try again in a minute."), QMessageBox::Ok,
                               nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
            locked.exec();
            return false;
        }
        // No parent, on top: the window's black style sheet stays off the prompt, the About box under it.
        QInputDialog prompt(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
        prompt.setWindowTitle(tr("Host PIN"));
        prompt.setLabelText(wrong ? tr("Wrong PIN. Please enter the host PIN:")
                                  : tr("This is for the host. Please enter the host PIN:"));
        prompt.setTextEchoMode(QLineEdit::Password);
        if (prompt.exec() != QDialog::Accepted)
            return false;
        if (kioskGuard->check(prompt.textValue(), hostClock.elapsed()) == KioskGuard::Answer::Accepted)
            return true;
        wrong = true;
    }
}

void MainWindow::openPartyMode()
{
    if (!hostMayAct())
        return;
    if (aboutDialog)
        dismissAboutBox(); // it stays on top of everything, the dialog too
    ConfigDialog dialog;
    dialog.modeSlider()->setValue(mode.index());
    dialog.offerNewPin(!kioskGuard->hasPin());
    dialog.exec();
    const PartyMode chosen(dialog.modeSlider()->value());
    if (chosen.kiosk() && !kioskGuard->hasPin() && !kioskGuard->setPin(dialog.newPin())) {
        logMessage(tr("Kiosk mode needs a host PIN of at least four characters, typed twice alike: the "
                      "party mode stays as it was."));
        return;
    }
    if (settings)
        chosen.store(*settings);
    applyPartyMode(chosen);
    libraryTable()->setFocus(Qt::OtherFocusReason);
}

void MainWindow::applyPartyMode(PartyMode chosen)
{
    mode = chosen;
    // A kiosk without a PIN (a mode written into the settings by hand) would lock the host out as well.
    const bool kiosk = mode.kiosk() && kioskGuard->hasPin();
    if (mode.kiosk() && !kiosk)
        logMessage(tr("Kiosk mode needs a host PIN: choose the mode again in the mode dialog (Ctrl+M)."));
    kioskGuard->setKiosk(kiosk);
    if (playQueue)
        playQueue->setWebcam(mode.wishPhotos() ? webcam.get() : nullptr);
    if (mode.stopMotion() && webcam) {
        if (!stopMotion) {
            const QString folder = outputSubfolder(QStringLiteral("Stop motion"));
            stopMotion = std::make_unique<StopMotion>(webcam.get(), folder, stopMotionSeconds,
                                                      [this]() { return !snapshotFuture.isFinished(); });
        }
        stopMotion->start();
    } else if (stopMotion) {
        stopMotion->stop();
    }
    logMessage(tr("Party mode: %1").arg(ConfigDialog::modeDescription(mode.index())));
}

void MainWindow::skipSong()
{
    const Track* head = playQueue ? playQueue->queuedSongs().value(0) : nullptr;
    // The PIN prompt lets the queue move on: only the song the host meant is skipped.
    if (!head || !hostMayAct() || playQueue->queuedSongs().value(0) != head)
        return;
    QMutexLocker lock(libraryMutex.get());
    bool allSelectableAgain = false;
    if (!library.get() || !playQueue->skipHead(library.get(), allSelectableAgain))
        return;
    if (paused) {
        // The song that was paused is gone; the next one plays.
        paused = false;
        ui->myButtonPause->setChecked(false);
        startTimer();
    }
    if (allSelectableAgain)
        showAllGenresAgain();
    publishPlayback();
}

void MainWindow::removeWish(int position)
{
    const Track* wish = playQueue ? playQueue->queuedSongs().value(position) : nullptr;
    if (position < 1 || !wish || !hostMayAct() || playQueue->queuedSongs().value(position) != wish)
        return;
    QMutexLocker lock(libraryMutex.get());
    playQueue->removeWaiting(position);
    publishPlayback();
}

void MainWindow::finishStopMotion()
{
    if (!stopMotion)
        return;
    const QString frames = stopMotion->folder();
    stopMotion.reset();
    if (!frames.isEmpty())
        writePartyFilm(frames, runFolder() + QStringLiteral("Vimo party film.mp4"));
}

// ---- Adding songs ----

void MainWindow::addFiles()
{
    if (isAdding() || !hostMayAct())
        return;
    // The About box stays on top of every window: it goes before a folder dialog opens beneath it.
    dismissAboutBox();
    QString startFolder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (settings && settings->contains(lastFolderKey))
        startFolder = settings->value(lastFolderKey).toString();

    if ((!library || library->trackCount() == 0) && useNativeFolderDialog(settings)) {
        // The tick pauses while the dialog is open; it comes back only if it ran (not while paused).
        const bool ticking = updateTimer->isActive();
        updateTimer->stop();
        // No parent: the window's black style sheet would otherwise paint Qt's own dialog black on black
        // wherever the desktop offers no dialog of its own.
        const QString folder = QFileDialog::getExistingDirectory(
            nullptr, tr("Please select one folder containing MP3 files."), startFolder,
            QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
        if (ticking)
            updateTimer->start(1000);
        if (!folder.isEmpty()) {
            addFolder(QDir(folder));
            if (settings) {
                settings->setValue(lastFolderKey, QDir::toNativeSeparators(folder));
                settings->sync();
            }
        }
        libraryTable()->setFocus(Qt::OtherFocusReason);
        return;
    }

    if (!fileDialog) {
        fileDialog =
            new QFileDialog(nullptr, tr("Please select one directory and press the \"ADD all MP3s\" button"),
                            startFolder, QString());
        fileDialog->setWindowFlag(Qt::WindowStaysOnTopHint);
        connect(fileDialog, &QFileDialog::accepted, this, &MainWindow::filesAddedOK);
        connect(fileDialog, &QFileDialog::directoryEntered, this,
                &MainWindow::filedialog_DirectoryWasEntered);
        connect(fileDialog, &QFileDialog::currentChanged, this,
                &MainWindow::filedialog_DirectoryWasClickedOn);
        fileDialog->setFileMode(QFileDialog::Directory);
        fileDialog->setOption(QFileDialog::ReadOnly, true);
        // The accept label below names the folder and its songs; only Qt's own dialog can show it.
        fileDialog->setOption(QFileDialog::DontUseNativeDialog, true);
    }
    fileDialog->setFilter(QDir::Drives | QDir::AllDirs | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    fileDialog->setViewMode(QFileDialog::List);
    fileDialog->setLabelText(QFileDialog::FileType, QStringLiteral("Filter:"));
    updateAcceptLabel(startFolder);
    fileDialog->show();
}

void MainWindow::updateAcceptLabel(const QString& folder)
{
    if (!fileDialog)
        return;
    const QDir directory(folder);
    const QString name = directory.dirName();
    if (!name.isEmpty() && directory.exists() && name != QLatin1String(".")) {
        const int songs = directory
                              .entryList({QStringLiteral("*.mp3")},
                                         QDir::Files | QDir::Hidden | QDir::Readable | QDir::NoSymLinks)
                              .size();
        QString label = QStringLiteral("ADD all %1 MP3s in\n\"%2\"").arg(songs).arg(name);
        if (!directory.entryList(QDir::Dirs | QDir::Readable | QDir::NoSymLinks | QDir::NoDotAndDotDot)
                 .isEmpty())
            label += QStringLiteral("\n(+ add its subdirectories)");
        fileDialog->setLabelText(QFileDialog::Accept, label);
    } else if (name.isEmpty() && directory.absolutePath().size() == 3) {
        fileDialog->setLabelText(QFileDialog::Accept,
                                 QStringLiteral("ADD all MP3s in\n\"%1\"\n(and subdirectories)")
                                     .arg(directory.absolutePath().left(2)));
    }
}

void MainWindow::filedialog_DirectoryWasEntered(QString folder)
{
    updateAcceptLabel(folder);
}

void MainWindow::filedialog_DirectoryWasClickedOn(QString path)
{
    updateAcceptLabel(path);
}

void MainWindow::filesAddedOK()
{
    const QStringList selected = fileDialog->selectedFiles();
    QString remembered;
    if (selected.size() == 1) {
        if (QFileInfo(selected.first()).isDir())
            addFolder(QDir(selected.first()));
        else
            addFileList(selected);
        remembered = selected.first();
    } else if (selected.isEmpty()) {
        addFolder(QDir(QStringLiteral(".")));
    } else {
        addFileList(selected);
        remembered = QFileInfo(selected.first()).absolutePath();
    }
    if (settings && !remembered.isEmpty()) {
        settings->setValue(lastFolderKey, QDir::toNativeSeparators(remembered));
        settings->sync();
    }
    libraryTable()->setFocus(Qt::OtherFocusReason);
}

void MainWindow::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls() || isAdding() || !hostMayAct())
        return;
    // Every dropped folder and file goes into one job, in drop order, so no job's results are lost to
    // the next one.
    QStringList entries;
    for (const QUrl& url : event->mimeData()->urls()) {
        // Only files of this machine: a file URL naming a host would read as a local path ("//host/share"
        // is "/host/share" here).
        const QString path = url.isLocalFile() && url.host().isEmpty() ? url.toLocalFile() : QString();
        if (!path.isEmpty())
            entries << path;
    }
    if (!entries.isEmpty())
        addingRelay->request([entries](const TrackLibrary& songs) { return songs.droppedFiles(entries); });
}

void MainWindow::addFolder(const QDir& folder)
{
    if (!folder.exists())
        return;
    const QFileInfo entry(folder.absolutePath());
    addingRelay->request([entry](const TrackLibrary& songs) { return songs.filesBelow(entry); });
}

void MainWindow::addFileList(const QStringList& paths)
{
    addingRelay->request([paths](const TrackLibrary& songs) { return songs.listedFiles(paths); });
}

bool MainWindow::isAdding() const
{
    return addingRelay->isAdding();
}

void MainWindow::NotifyOfAddingOneTrackDone(int index)
{
    addingRelay->resultReady(index);
}

void MainWindow::NotifyOfAddTrackProgress(int progressValue)
{
    addingRelay->progress(progressValue);
}

void MainWindow::NotifyOfAddingFinished()
{
    addingRelay->end(false);
}

void MainWindow::NotifyOfAddingCancelled()
{
    addingRelay->end(true);
}

// ---- The grid and its genre buttons ----

void MainWindow::refreshLibraryTable(const QString& searchText, bool waitForMutex)
{
    Q_UNUSED(searchText) // typing searches by jumping, it never narrows the grid
    if (waitForMutex) {
        libraryMutex->lock();
        libraryMutex->unlock();
    }
    if (!library)
        return;
    buildGenreButtons();

    QTableWidgetSearchable* table = libraryTable();
    const int total = library->trackCount();
    // Shrinking the table deletes cells: the index forgets them first.
    gridCells.restart(total);
    const GridShape shape = applyGridShape(table, total);

    // The cells of the last refresh are reused: the view forgets its current and selected cells as a
    // cleared table would, and every cell then takes on exactly its song's text, tool tip, style and
    // colours, each of which changes (and repaints) only where it differs. A refresh of a large library
    // thus neither deletes nor allocates ten thousand cells.
    table->reset();
    // Each changed cell would tell the view on its own, thousands of times; the view is told once.
    QAbstractItemModel* model = table->model();
    model->blockSignals(true);
    Track* firstShown = nullptr;
    const int placed = placeSongs(shape.columns, firstShown);
    model->blockSignals(false);

    for (int row = 0; row < shape.rows; ++row)
        table->setRowHeight(row, shape.rowHeight);
    const GridRows rows = gridRows(shape, placed, table->height());
    setAsideFrom(rows.count, shape.columns);
    table->setRowCount(rows.count);
    table->setRowHeight(rows.count - 1, rows.lastRowHeight);
    model->blockSignals(true);
    fillEmptyPlaces(table, placed, shape.columns);
    model->blockSignals(false);
    table->viewport()->update();
    if (playQueue)
        playQueue->followGenreFilter(library.get());

    if (QTableWidgetItem* cell = gridCells.cellOf(selectedTrack)) {
        table->setCurrentItem(cell, QItemSelectionModel::Select);
    } else if (QTableWidgetItem* first = gridCells.cellOf(firstShown)) {
        table->setCurrentItem(first, QItemSelectionModel::Select);
        selectedTrack = firstShown;
    } else {
        return;
    }
    table->setFocus(Qt::MouseFocusReason);
}

int MainWindow::placeSongs(int columns, Track*& firstShown)
{
    QTableWidget* table = libraryTable();
    int placed = 0;
    // Reading every song's genre costs more than all else of an unchanged refresh: only a filter asks.
    const bool everyGenre = genreFilterMode == 0 && currentGenre.isEmpty();
    // New cells of free songs, thousands a refresh while a large folder is added, are copies of one styled
    // cell: styling each of them took most of the refresh.
    std::unique_ptr<QTableWidgetItem> freeSong;
    // The filter is asked once a genre; comparing the genre texts of every song cost most of a switch.
    std::vector<signed char> genreShown;
    const auto shownByGenre = [&](const Track* track) {
        if (track->genreIndex() < 0)
            return shownByFilter(track->genre());
        const auto genre = static_cast<size_t>(track->genreIndex());
        if (genre >= genreShown.size())
            genreShown.resize(genre + 1, -1);
        if (genreShown[genre] < 0)
            genreShown[genre] = shownByFilter(track->genre()) ? 1 : 0;
        return genreShown[genre] == 1;
    };
    auto place = [&](Track* track) {
        const bool shown = everyGenre || shownByGenre(track);
        track->setInGenreFilter(shown);
        if (!shown)
            return;
        const int row = placed / columns;
        const int column = placed % columns;
        QTableWidgetItem* cell = table->item(row, column);
        const SongState state = track->state();
        const int hue = playQueue ? playQueue->waitingHueOf(track) : -1;
        const bool inTable = cell != nullptr;
        bool showsAlready = inTable && gridCells.showedAlready(track, cell, state, hue);
        bool songStyle = inTable && gridCells.showedSong(cell);
        bool coloured = false;
        if (!inTable) {
            const SongCellIndex::Aside aside = gridCells.takeAside(track, state, hue);
            cell = aside.cell;
            showsAlready = aside.same;
            songStyle = aside.showedSong;
        }
        if (!cell && state == SongState::Free) {
            if (!freeSong) {
                freeSong = std::make_unique<QTableWidgetItem>();
                styleTableCell(freeSong.get());
                colourSongCells(freeSong.get(), nullptr, SongState::Free, -1, -1);
            }
            cell = freeSong->clone();
            songStyle = coloured = true;
        } else if (!cell) {
            cell = new QTableWidgetItem;
        }
        if (!showsAlready) {
            cell->setText(track->displayText());
            // A song's cell keeps its font, alignment and flags; its colours follow below. Only a waiting
            // song without a hue keeps the plain background the style gives.
            if (!songStyle || (state == SongState::Queued && hue < 0))
                styleTableCell(cell);
            cell->setToolTip(plainToolTip(track->details()));
            if (!coloured)
                colourSongCells(cell, nullptr, state, hue,
                                playQueue ? playQueue->waitingPositionOf(track) : -1);
        }
        if (!inTable)
            table->setItem(row, column, cell);
        gridCells.add(track, cell, state, hue);
        ++placed;
        if (!firstShown)
            firstShown = track;
    };
    library->forEachTrack(place);
    library->forEachPendingTrack(place);
    return placed;
}

// The cells of the rows from `row` on go to the index, before the grid loses those rows.
void MainWindow::setAsideFrom(int row, int columns)
{
    QTableWidget* table = libraryTable();
    QAbstractItemModel* model = table->model();
    model->blockSignals(true);
    for (int spareRow = row; spareRow < table->rowCount(); ++spareRow) {
        for (int column = 0; column < columns; ++column) {
            const int place = spareRow * columns + column;
            QTableWidgetItem* cell = table->takeItem(spareRow, column);
            // The queue has kept the cell in step with its song's state and hue until now.
            const Track* track = gridCells.shownBefore(place, cell);
            gridCells.setAside(place, cell, track, track ? track->state() : SongState{},
                               track && playQueue ? playQueue->waitingHueOf(track) : -1);
        }
    }
    model->blockSignals(false);
}

bool MainWindow::shownByFilter(const QString& genre) const
{
    if (genreFilterMode == 1 && !genreList.isEmpty())
        return !genreList.contains(genre);
    return currentGenre.isEmpty() || genre == currentGenre;
}

std::pair<QString, int> MainWindow::filterOfButton(int index) const
{
    const int count = static_cast<int>(genreButtons.size());
    if (index <= 0 || index >= count)
        return {QString(), 0};
    if (!genreList.isEmpty() && index == count - 1)
        return {QString(), 1};
    return {genreButtons.at(static_cast<size_t>(index))->text(), 0};
}

void MainWindow::showAllGenres()
{
    genreButtonIndex = 0;
    currentGenre.clear();
    genreFilterMode = 0;
}

void MainWindow::buildGenreButtons()
{
    if (genreButtonGroup)
        genreButtonGroup->disconnect();
    // The buttons go later, through the event loop: a click on one of them may be what rebuilds them.
    for (QAbstractButton* button : genreButtons) {
        ui->verticalLayout->removeWidget(button);
        if (genreButtonGroup)
            genreButtonGroup->removeButton(button);
        button->hide();
        button->deleteLater();
    }
    genreButtons.clear();
    if (genreButtonGroup)
        genreButtonGroup->deleteLater();
    genreButtonGroup = nullptr;
    genreList.clear();

    const int spacing = ui->verticalLayout->spacing();
    const int slotCount =
        (libraryTable()->height() - ui->myButtonPause->height() - 2 * spacing - 50) / (spacing + 50);
    bool restMade = false;
    for (int slot = 1; slot <= slotCount; ++slot) {
        const QString genre = library ? library->genreAt(slot - 1) : QString();
        if (genre.isEmpty())
            break;
        if (!genreButtonGroup) {
            genreButtonGroup = new QButtonGroup(this);
            auto* all = new QPushButton(tr("All genres"), this);
            all->setCheckable(true);
            all->setChecked(true);
            all->setFixedSize(92, 50);
            applyGenreButtonStyle(all);
            genreButtonGroup->addButton(all, 0);
            ui->verticalLayout->insertWidget(slot, all);
            genreButtons.push_back(all);
        }
        auto* button = new QPushButton(this);
        button->setCheckable(true);
        button->setMinimumSize(92, 50);
        QSizePolicy policy(QSizePolicy::Minimum, QSizePolicy::Expanding);
        policy.setHeightForWidth(button->sizePolicy().hasHeightForWidth());
        button->setSizePolicy(policy);
        applyGenreButtonStyle(button);
        if (slot < slotCount) {
            button->setText(genre);
            genreList.append(genre);
        } else {
            button->setText(tr("The rest"));
            QStringList covered;
            for (int rank = slot - 1;; ++rank) {
                const QString rest = library->genreAt(rank);
                if (rest.isEmpty())
                    break;
                covered << QString(rest).replace(QLatin1Char('\n'), QLatin1Char(' '));
            }
            button->setToolTip(tr("Shows tracks of the genres") + QStringLiteral(":\n") +
                               covered.join(QLatin1Char('\n')) + QStringLiteral("\n(") +
                               tr("and tracks without a genre") + QLatin1Char(')'));
            restMade = true;
        }
        ui->verticalLayout->insertWidget(slot + 1, button);
        genreButtons.push_back(button);
        genreButtonGroup->addButton(button, slot);
    }
    if (!restMade)
        genreList.clear();
    if (genreButtonGroup) {
        connect(genreButtonGroup, QOverload<QAbstractButton*>::of(&QButtonGroup::buttonClicked), this,
                &MainWindow::genreButtonClicked);
        if (!genreButtonGroup->buttons().isEmpty()) {
            ui->myButtonPause->show();
            // The remembered place must still hold the button of the filter in force: fewer slots, more
            // slots or a new ranking can put another genre, or "The rest", where the chosen one was.
            const bool inRange =
                genreButtonIndex >= 0 && genreButtonIndex < static_cast<int>(genreButtons.size());
            if (!inRange || filterOfButton(genreButtonIndex) != std::make_pair(currentGenre, genreFilterMode))
                showAllGenres();
            genreButtons.at(static_cast<size_t>(genreButtonIndex))->setChecked(true);
        }
    }
    QVector<QAbstractButton*> keyboardPath(genreButtons.begin(), genreButtons.end());
    for (QAbstractButton* button : keyboardPath)
        button->setAccessibleDescription(tr("Shows only the songs of this genre in the grid"));
    keyboardPath << ui->myButtonPause << ui->aboutButton;
    desktop->chainKeyboard(libraryTable(), keyboardPath);
}

void MainWindow::genreButtonClicked(QAbstractButton* button_in)
{
    const auto found = std::find(genreButtons.begin(), genreButtons.end(), button_in);
    genreButtonIndex = found == genreButtons.end() ? 0 : static_cast<int>(found - genreButtons.begin());
    std::tie(currentGenre, genreFilterMode) = filterOfButton(genreButtonIndex);
    songHistoryShown = false;
    ui->myButtonSongHistory->setChecked(false);
    refreshLibraryTable(libraryTable()->currentSearchText(), false);
}

void MainWindow::songHistoryToggled(bool shown)
{
    songHistoryShown = shown;
    refreshLibraryTable(libraryTable()->currentSearchText(), true);
}

void MainWindow::selectionHasChanged()
{
    QTableWidgetSearchable* table = libraryTable();
    if (!table)
        return;
    const QList<QTableWidgetItem*> selected = table->selectedItems();
    PhotoSelection selection;
    Track* track = nullptr;
    if (!selected.isEmpty()) {
        QTableWidgetItem* cell = selected.first();
        selection.cellSelected = true;
        selection.column = cell->column();
        track = library ? library->findBySearchKey(cell->text().toLower()) : nullptr;
        if (track) {
            selectedTrack = track;
            selection.songFound = true;
            selection.photoFileName = track->photoFileName();
            selection.taken = track->played() || track->queued() || track->playing();
            selection.commentAsked = track->commentAsked();
        }
    }
    if (!followLibrarySelection(floater, selection, webcam != nullptr || phonePortraits, isAdding(),
                                portraitDirectory, table))
        return;
    if (track)
        track->setCommentAsked(true);
    if (partyAlbum)
        connect(floater.get(), &Floater::commentWritten, this, [this]() { partyAlbum->update(); });
}

// ---- Wishes and playback ----

void MainWindow::itemWasActivated(QTableWidgetItem* item)
{
    QMutexLocker lock(libraryMutex.get());
    if (!library || !playQueue || !item)
        return;
    wishSong(*playQueue.get(), library.get(), library->findBySearchKey(item->text().toLower()));
    publishPlayback();
}

bool MainWindow::NotifyQueueOfFinishedSong()
{
    QMutexLocker lock(libraryMutex.get());
    if (!library || !playQueue)
        return false;
    bool allSelectableAgain = false;
    playQueue->songFinished(library.get(), allSelectableAgain);
    if (allSelectableAgain)
        showAllGenresAgain();
    publishPlayback();
    return true;
}

void MainWindow::showAllGenresAgain()
{
    if (!genreButtons.empty())
        genreButtons.front()->setChecked(true);
    showAllGenres();
    refreshLibraryTable(QString(), false);
}

void MainWindow::pauseWasPressed()
{
    if (playQueue && !playQueue->queuedSongs().isEmpty() && playQueue->queuedSongs().first()) {
        if (paused) {
            paused = false;
            playQueue->resumeHead();
            startTimer();
        } else {
            paused = true;
            playQueue->pauseHead();
            updateTimer->stop();
        }
        publishPlayback();
    }
    // The click has toggled the button's look already, also where there was nothing to pause.
    ui->myButtonPause->setChecked(paused);
    if (QTableWidgetItem* cell = gridCells.cellOf(selectedTrack)) {
        libraryTable()->setCurrentItem(cell, QItemSelectionModel::Select);
        libraryTable()->setFocus(Qt::OtherFocusReason);
    }
}

void MainWindow::timerUpdate()
{
    if (!playQueue)
        return;
    playQueue->tick();
    {
        QMutexLocker lock(libraryMutex.get());
        if (library)
            playQueue->retryWhenSilent(library.get());
    }
    // The portrait reaches the disk a moment after its song started.
    publishPlayback();
}

void MainWindow::publishPlayback()
{
    if (phoneDesk)
        phoneDesk->publish();
    const Track* head =
        playQueue && !playQueue->queuedSongs().isEmpty() ? playQueue->queuedSongs().first() : nullptr;
    if (!head || !head->playing()) {
        desktop->publish(NowPlaying::Status::Stopped, PlayingSong());
        return;
    }
    PlayingSong song;
    song.artist = head->artist();
    song.title = head->title();
    song.lengthMicroseconds = static_cast<qint64>(head->seconds() * 1e6);
    if (!portraitDirectory.isEmpty() && !head->photoFileName().isEmpty())
        song.portraitPath = QDir(portraitDirectory).filePath(head->photoFileName());
    song.number = playQueue->playlistLineCount();
    desktop->publish(paused ? NowPlaying::Status::Paused : NowPlaying::Status::Playing, song);
}

void MainWindow::startSnapshotJob(bool showComment, const QString& folder, const QString& fileName)
{
    const bool wished = opencv::startSnapshotJob(webcam.get(), snapshotFuture, showComment, folder, fileName);
    if (partyAlbum && !fileName.isEmpty()) {
        // The queue photographs the song it has just taken on, its last one.
        const Track* song =
            playQueue && !playQueue->queuedSongs().isEmpty() ? playQueue->queuedSongs().last() : nullptr;
        AlbumEntry portrait;
        portrait.fileName = fileName;
        portrait.takenAt = QDateTime::currentDateTime();
        portrait.counter = playQueue ? playQueue->photoCount() : 0;
        portrait.random = !showComment;
        if (song && song->photoFileName() == fileName) {
            portrait.artist = song->artist();
            portrait.title = song->title();
        }
        partyAlbum->portraitStarted(portrait, snapshotFuture);
    }
    if (wished)
        selectionHasChanged();
}

// ---- Phone wishes ----

void MainWindow::createPhoneDesk(int photoWidth, int photoHeight)
{
    PhoneParty party;
    party.library = [this]() { return library.get(); };
    party.queue = [this]() { return playQueue.get(); };
    party.wish = [this](Track* track) {
        QMutexLocker lock(libraryMutex.get());
        if (!library || !playQueue)
            return WishRefusal::NoSong;
        return wishSong(*playQueue.get(), library.get(), track);
    };
    party.paused = [this]() { return paused; };
    party.namePortrait = [this](const Track* track) {
        return playQueue ? playQueue->nameGuestPortrait(track) : QString();
    };
    party.portraitFolder = [this]() { return portraitFolderForPhones(); };
    party.portraitStored = [this](Track* track, const QString& fileName) {
        phonePortraits = true;
        if (partyAlbum) {
            AlbumEntry portrait;
            portrait.fileName = fileName;
            portrait.takenAt = QDateTime::currentDateTime();
            portrait.counter = playQueue ? playQueue->photoCount() : 0;
            portrait.artist = track->artist();
            portrait.title = track->title();
            partyAlbum->portraitNamed(portrait);
            partyAlbum->update();
        }
        if (track == selectedTrack)
            selectionHasChanged();
    };
    party.photoSize = QSize(photoWidth, photoHeight);
    phoneDesk = std::make_unique<PhoneDesk>(settings, std::move(party));
    phonePanel = new PhonePanel(this);
    phonePanel->hide();
    ui->horizontalLayout_2->addWidget(phonePanel);
    connect(phoneDesk.get(), &PhoneDesk::stateChanged, this, &MainWindow::showPhonePanel);
    if (phoneDesk->isRunning())
        showPhonePanel(true, phoneDesk->address());
    phonesAction = new QAction(tr("Phone wishes"), this);
    phonesAction->setShortcut(QKeySequence(tr("Ctrl+P")));
    connect(phonesAction, &QAction::triggered, this, &MainWindow::togglePhones);
    addAction(phonesAction);
}

void MainWindow::togglePhones()
{
    if (phoneDesk)
        phoneDesk->toggle();
}

void MainWindow::showPhonePanel(bool running, const QString& address)
{
    if (!phonePanel || running == phonePanel->isVisible())
        return;
    if (running)
        phonePanel->showAddress(address, phoneDesk ? phoneDesk->pin() : QString());
    phonePanel->setVisible(running);
    // The panel takes its column from the grid, which is laid out anew for the width left.
    if (layout())
        layout()->activate();
    fitTables();
}

QString MainWindow::portraitFolderForPhones()
{
    if (portraitDirectory.isEmpty()) {
        const QString folder = outputSubfolder(QStringLiteral("DJ portraits"));
        if (folder.isEmpty())
            return QString();
        portraitDirectory = QDir::toNativeSeparators(folder);
    }
    if (!partyAlbum) {
        partyAlbum = std::make_unique<PartyAlbum>(runFolder(), portraitDirectory);
        partyAlbum->update();
    }
    return portraitDirectory;
}
