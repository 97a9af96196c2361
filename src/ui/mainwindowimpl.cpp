// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/mainwindowimpl.h"

#include "audio/AllBase.h"
#include "audio/AllBaseBackend.h"
#include "base/appidentity.h"
#include "base/runlog.h"
#include "base/settings.h"
#include "desktop/DesktopLink.h"
#include "desktop/NoticeBoard.h"
#include "desktop/highdpi.h"
#include "library/AddingRelay.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/PartyAlbum.h"
#include "party/PlayQueue.h"
#include "phones/PhoneDesk.h"
#include "ui/About.h"
#include "ui/Floater.h"
#include "ui/HostGate.h"
#include "ui/NowPlayingRow.h"
#include "ui/QueueView.h"
#include "ui/SongGrid.h"
#include "ui/TextScaling.h"
#include "ui/queuerow.h"
#include "ui/startupdialogs.h"
#include "ui/style.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QPixmapCache>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QWindow>
#include <new>
#include <optional>

bool fullscreenActive = false;

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::MainWindow>()), portraits(std::make_unique<PortraitJobs>())
{
    fullscreenActive = false;
    createAddingRelay();
    initVimoResources();
    fitEveryDialogToItsScreen();
    setWindowIcon(programIcon());
    runFolder();
    if (!openSound())
        return;
    readPartySettings();
    setUpWidgets();
    createQueue();
    const QSize photoSize = openWebcam();
    createDesktopLink();
    showHint();
    connectWindow();
    createShortcuts();
    createPlayback();
    createPhoneDesk(photoSize);
    connectDesktop();
    nameForScreenReaders();
    applyPartyMode(partyModes->current());
    initFailed = false;
    setAcceptDrops(true);
}

// The one place of the shutdown order; each part goes before what it still reaches. The adding job is
// waited for first, as its results go into the library; no phone may reach a song or the queue once they
// start to go; the dialogs and the tick go before the library their slots read; the last snapshot and the
// stop-motion film are finished before the webcam that takes them; the queue goes before the sound its
// songs play on; the settings and the library mutex go last, as every part above may use them on its way.
MainWindow::~MainWindow()
{
    if (!initFailed)
        addingRelay->cancelAndWait();
    phoneWiring.reset();
    delete aboutDialog;
    aboutDialog = nullptr;
    floater.reset();
    addSongs.reset();
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
    portraits->waitForSnapshot();
    if (partyModes)
        partyModes->finishStopMotion();
    portraits.reset();
    playQueue.reset();
    if (audioBackend) {
        audioBackend->free();
        audioBackend.reset();
    }
    releaseSettingsStore(settings);
    libraryMutex.reset();
}

void MainWindow::createAddingRelay()
{
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
                   [this](int added, int duplicates, int unreadable, int unreadableFolders) {
                       if (desktop)
                           desktop->notices().post(
                               NoticeBoard::addingNotice(added, duplicates, unreadable, unreadableFolders));
                       if (PhoneDesk* desk = phones())
                           desk->publish();
                   }});
    addSongs = std::make_unique<AddSongsController>(
        *addingRelay, AddSongsWindow{[this]() { return hostGate->mayAct(); }, [this]() { dismissAboutBox(); },
                                     [this]() { return !library || library->trackCount() == 0; },
                                     [this]() { return settings; }, [this]() { return updateTimer.get(); },
                                     [this]() { libraryTable()->setFocus(Qt::OtherFocusReason); }});
}

bool MainWindow::openSound()
{
    audioBackend.reset(new (std::nothrow) AllBaseBackend);
    if (audioBackend && audioBackend->init(static_cast<quintptr>(winId())))
        return true;
    showSoundFailure();
    return false;
}

void MainWindow::readPartySettings()
{
    settings = settingsStore();
    hostGate = std::make_unique<HostGate>(settings);
    partyModes = std::make_unique<PartyModeSwitch>(settings, hostGate->guard());
    kioskScreen = std::make_unique<KioskScreen>(this, *hostGate);
    // Without photos for wishes nobody is asked; a stop-motion film alone needs the camera all the same.
    const PartyMode mode = partyModes->current();
    useWebcam = mode.wishPhotos() ? askForWebcam() : mode.stopMotion();
}

void MainWindow::setUpWidgets()
{
    ui->setupUi(this);
    ui->myButtonSearchQuery->hide();
    ui->myButtonSongHistory->hide();
    ui->myButtonPause->hide();
    setAutoFillBackground(true);
    songGrid = std::make_unique<SongGrid>(libraryTable(), gridCells);
    genreBar = std::make_unique<GenreFilterBar>(this, ui->verticalLayout, libraryTable(), ui->myButtonPause);
    connect(genreBar.get(), &GenreFilterBar::buttonClicked, this, &MainWindow::genreButtonClicked);

    applyUiSettingsAndStyle();
    textScaling = std::make_unique<TextScaling>(this, settings, ui->myTableWidgetForQueue, ui->myButtonPause,
                                                [this]() { fitTables(); });
    if (fullscreen)
        showFullScreen();
    else
        showNormal();

    addSongsButtonText = ui->addSongsButton->text();
}

void MainWindow::createQueue()
{
    QTableWidget* queueTable = ui->myTableWidgetForQueue;
    buildQueueRow(queueTable);
    playQueue.reset(new (std::nothrow) PlayQueue(std::make_unique<QueueView>(queueTable, &gridCells)));
    if (!playQueue)
        showOutOfMemory();
}

QSize MainWindow::openWebcam()
{
    const QSize photoSize = portraits->openWebcam(settings, useWebcam, partyModes->current().camera());
    if (playQueue) {
        playQueue->startTimerHook = [this]() { startTimer(); };
        playQueue->snapshotHook = [this](bool showComment, const QString& fileName) {
            startSnapshotJob(showComment, portraits->folder(), fileName);
        };
    }
    return photoSize;
}

void MainWindow::createDesktopLink()
{
    desktop = std::make_unique<DesktopLink>(this, libraryTable());
    desktop->showSoundDeviceNews(static_cast<const AllBaseBackend*>(audioBackend.get()));
    if (useWebcam && !portraits->camera())
        desktop->notices().post(NoticeBoard::noWebcamNotice());
}

void MainWindow::showHint()
{
    hintItem = songGrid->showHint(tr("Drag a folder or mp3 files here") + QStringLiteral("\n\n") +
                                  tr("F1 shows the manual"));
}

void MainWindow::connectWindow()
{
    ui->myTableWidgetForQueue->setSelectionMode(QAbstractItemView::NoSelection);
    libraryTable()->setSelectionMode(QAbstractItemView::NoSelection);

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
}

void MainWindow::createShortcuts()
{
    addSongsAction = std::make_unique<QAction>(tr("Add Songs"), this);
    addSongsAction->setShortcut(QKeySequence(tr("Alt+A")));
    escapeShortcut = std::make_unique<QShortcut>(QKeySequence(Qt::Key_Escape), this);
    connect(escapeShortcut.get(), &QShortcut::activated, this, &MainWindow::cancelAddingThread);
    partyModeShortcut = std::make_unique<QShortcut>(QKeySequence(tr("Ctrl+M")), this);
    connect(partyModeShortcut.get(), &QShortcut::activated, this, &MainWindow::openPartyMode);
    skipShortcut = std::make_unique<QShortcut>(QKeySequence(tr("Ctrl+N")), this);
    connect(skipShortcut.get(), &QShortcut::activated, this, &MainWindow::skipSong);
    removeShortcut = takeBackWishesByKey(ui->myTableWidgetForQueue, [this](int place) { removeWish(place); });
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
}

void MainWindow::createPlayback()
{
    updateTimer = std::make_unique<QTimer>();
    connect(updateTimer.get(), &QTimer::timeout, this, &MainWindow::timerUpdate);
    nowPlaying = std::make_unique<NowPlayingRow>(ui->myTableWidgetForQueue, *hostGate, settings,
                                                 desktop->nowPlaying());
    playback = std::make_unique<PlaybackControl>(
        playQueue.get(), *libraryMutex, *updateTimer, *ui->myButtonPause, *desktop,
        PlaybackWindow{[this]() { return library.get(); }, [this]() { return hostGate->mayAct(); },
                       [this]() { showAllGenresAgain(); }, [this]() { return phones(); },
                       [this]() { return portraits->folder(); },
                       [this](const Track* head, bool paused) { nowPlaying->showHead(head, paused); }});
}

void MainWindow::createPhoneDesk(QSize photoSize)
{
    PhoneParty party = playback->phoneParty(*portraits, [this](const Track* track) {
        if (track == selectedTrack)
            selectionHasChanged();
    });
    party.photoSize = photoSize;
    phoneWiring = std::make_unique<PhoneWiring>(
        this, ui->horizontalLayout_2, settings, std::move(party), [this]() { fitTables(); }, *hostGate);
}

void MainWindow::connectDesktop()
{
    connect(desktop.get(), &DesktopLink::pauseToggleRequested, ui->myButtonPause, &QPushButton::click);
    connect(desktop.get(), &DesktopLink::raiseRequested, this, [this]() { DesktopLink::bringToFront(this); });
    desktop->setPositionSource(
        [this]() { return playQueue ? qint64(playQueue->secondsElapsed()) * 1000000 : qint64(0); });
}

void MainWindow::nameForScreenReaders()
{
    ui->aboutButton->setAccessibleName(tr("About Vimo"));
    ui->aboutButton->setAccessibleDescription(tr("Shows the version, the manual and the log of this party"));
    ui->addSongsButton->setAccessibleName(tr("Add Songs"));
    ui->addSongsButton->setAccessibleDescription(ui->addSongsButton->toolTip());
    ui->myButtonPause->setAccessibleName(tr("Pause"));
    ui->myButtonPause->setAccessibleDescription(tr("Pauses the playing song or plays it on"));
    ui->myTableWidgetForQueue->setAccessibleName(tr("Queue"));
    ui->myTableWidgetForQueue->setAccessibleDescription(tr("The playing song and the wishes after it"));
    QTableWidget* table = libraryTable();
    table->setAccessibleName(tr("Songs"));
    table->setAccessibleDescription(tr("Arrow keys choose a song, Enter wishes it"));
    // Tab leaves the grid for the genre buttons, Pause, About and the queue; Add Songs has Alt+A.
    ui->addSongsButton->setFocusPolicy(Qt::ClickFocus);
    desktop->chainKeyboard(table, {ui->myButtonPause, ui->aboutButton, ui->myTableWidgetForQueue});
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

void MainWindow::layoutQueueColumns()
{
    layoutQueueRow(ui->myTableWidgetForQueue);
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
    connect(aboutDialog, &About::linkWanted, kioskScreen.get(), &KioskScreen::openOutside,
            Qt::QueuedConnection);
    // Always on top, it must leave free the button that closes it, even in the smallest window.
    const QScreen* screen = windowHandle() ? windowHandle()->screen() : QGuiApplication::primaryScreen();
    placeAboutBox(aboutDialog, frameGeometry(),
                  QRect(ui->aboutButton->mapToGlobal(QPoint(0, 0)), ui->aboutButton->size()),
                  screen ? screen->availableGeometry() : QRect());
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
    kioskScreen->openManual();
}

void MainWindow::cancelAddingThread()
{
    if (isAdding() && hostGate->mayAct())
        addingRelay->cancel();
}

// Closing leaves no job running and no dialog open over a window that is going; what the window owns
// goes later, in the destructor's order.
void MainWindow::closeDialogs()
{
    if (isAdding())
        addingRelay->cancel();
    if (QFileDialog* fileDialog = ownFolderDialog())
        fileDialog->close();
    if (aboutDialog)
        aboutDialog->close();
    if (floater)
        floater->close();
}

void MainWindow::shutdown()
{
    if (!hostGate->mayAct())
        return;
    closeDialogs();
    close();
}

void MainWindow::toggleFullscreen()
{
    const bool leaving = isFullScreen();
    if (leaving && !hostGate->mayAct())
        return;
    if (leaving)
        showNormal();
    else
        showFullScreen();
    fullscreen = leaving ? 0 : 1;
    fullscreenActive = !leaving;
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
        if (!songGrid->fitHint())
            refreshLibraryTable(table->currentSearchText(), false);
        layoutQueueColumns();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // At a party the screen belongs to the guests: in full screen the window system's close (title bar,
    // Alt+F4) is refused, and only the About box's quit button ends the program.
    // In kiosk mode the window system's close is quitting too, and asks for the host PIN.
    if (event->spontaneous() && (fullscreenActive || !hostGate->mayAct())) {
        event->ignore();
        return;
    }
    closeDialogs();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    addSongs->dragEnter(event);
}

void MainWindow::dropEvent(QDropEvent* event)
{
    addSongs->drop(event);
}

// ---- Party modes ----

void MainWindow::openPartyMode()
{
    if (!hostGate->mayAct())
        return;
    if (aboutDialog)
        dismissAboutBox(); // it stays on top of everything, the dialog too
    const std::optional<PartyMode> chosen = partyModes->ask();
    if (!chosen)
        return;
    applyPartyMode(*chosen);
    libraryTable()->setFocus(Qt::OtherFocusReason);
}

void MainWindow::applyPartyMode(PartyMode chosen)
{
    partyModes->apply(chosen, playQueue.get(), *portraits);
}

// ---- Adding songs ----

void MainWindow::addFiles()
{
    addSongs->addFiles();
}

void MainWindow::updateAcceptLabel(const QString& folder)
{
    addSongs->updateAcceptLabel(folder);
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
    addSongs->filesAddedOK();
}

void MainWindow::addFolder(const QDir& folder)
{
    addSongs->addFolder(folder);
}

void MainWindow::addFileList(const QStringList& paths)
{
    addSongs->addFileList(paths);
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
    songGrid->render(*library, *genreBar, playQueue.get(), selectedTrack);
}

void MainWindow::buildGenreButtons()
{
    genreBar->rebuild(library.get());
    const std::vector<QAbstractButton*>& buttons = genreBar->buttons();
    QVector<QWidget*> keyboardPath(buttons.begin(), buttons.end());
    keyboardPath << ui->myButtonPause << ui->aboutButton << ui->myTableWidgetForQueue;
    desktop->chainKeyboard(libraryTable(), keyboardPath);
}

const std::vector<QAbstractButton*>& MainWindow::genreFilterButtons() const
{
    static const std::vector<QAbstractButton*> none;
    return genreBar ? genreBar->buttons() : none;
}

void MainWindow::genreButtonClicked(QAbstractButton* button_in)
{
    genreBar->choose(button_in);
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
    PhotoSelection selection;
    Track* track = songGrid->selectedSong(library.get(), selection);
    if (track)
        selectedTrack = track;
    if (!followLibrarySelection(floater, selection, portraits->showsPortraits(), isAdding(),
                                portraits->folder(), table))
        return;
    if (track)
        track->setCommentAsked(true);
    if (portraits->album())
        connect(floater.get(), &Floater::commentWritten, this, [this]() { portraits->album()->update(); });
}

// ---- Wishes and playback ----

void MainWindow::itemWasActivated(QTableWidgetItem* item)
{
    playback->wishCell(item);
}

bool MainWindow::NotifyQueueOfFinishedSong()
{
    return playback->songFinished();
}

void MainWindow::pauseWasPressed()
{
    playback->pauseOrPlayOn();
    songGrid->focusSong(selectedTrack, Qt::OtherFocusReason);
}

void MainWindow::skipSong()
{
    playback->skipSong();
}

void MainWindow::removeWish(int position)
{
    playback->removeWish(position);
}

void MainWindow::timerUpdate()
{
    playback->tickSecond();
}

void MainWindow::showAllGenresAgain()
{
    genreBar->checkAllGenres();
    refreshLibraryTable(QString(), false);
}

// ---- Portraits and phones ----

void MainWindow::startSnapshotJob(bool showComment, const QString& folder, const QString& fileName)
{
    if (portraits && portraits->startSnapshotJob(showComment, folder, fileName, playQueue.get()))
        selectionHasChanged();
}

void MainWindow::togglePhones()
{
    if (phoneWiring)
        phoneWiring->togglePhones();
}
