// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

#include "party/PartyMode.h"
#include "party/PortraitJobs.h"
#include "ui/AddSongsController.h"
#include "ui/GenreFilterBar.h"
#include "ui/KioskScreen.h"
#include "ui/PartyModeSwitch.h"
#include "ui/PhoneWiring.h"
#include "ui/PlaybackControl.h"
#include "ui/SongCellIndex.h"
#include "ui/TimerBorderHue.h"

namespace Ui {
class MainWindow;
}
class About;
class AddingRelay;
class DesktopLink;
class Floater;
class ForeignerBackend;
class HostGate;
class NowPlayingRow;
class PartyAlbum;
class PhoneDesk;
class PlayQueue;
class QAbstractButton;
class QAction;
class QDir;
class QFileDialog;
class QMutex;
class QSettings;
class QShortcut;
class QTableWidgetItem;
class QTableWidgetSearchable;
class QTimer;
class SongGrid;
class StopMotion;
class TextScaling;
class Track;
class TrackLibrary;

// Set while the window is in full-screen mode; the window system's close request is refused then.
extern bool fullscreenActive;

// The program's one window. Its constructor is the start-up sequence and its destructor the orderly
// shutdown; it owns every long-lived object of the run.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // True when the start-up did not complete (no sound): the window was never shown.
    bool initializationFailed() const { return initFailed; }
    bool isFullscreenMode() const { return fullscreen != 0; }
    bool isAdding() const;
    bool isPaused() const { return playback && playback->isPaused(); }
    const TimerBorderHue& borderHueTimer() const { return borderHue; }
    About* aboutDialogShown() const { return aboutDialog; }
    Floater* floaterShown() const { return floater.get(); }
    QFileDialog* ownFolderDialog() const { return addSongs ? addSongs->dialog() : nullptr; }
    AddSongsController* songAdder() const { return addSongs.get(); }
    QTableWidgetItem* hintCell() const { return hintItem; }
    TrackLibrary* trackLibrary() const { return library.get(); }
    PlayQueue* queue() const { return playQueue.get(); }
    const SongCellIndex& songCells() const { return gridCells; }
    Track* selectedSong() const { return selectedTrack; }
    const std::vector<QAbstractButton*>& genreFilterButtons() const;
    QString selectedGenre() const { return genreBar ? genreBar->genre() : QString(); }
    QString portraitFolder() const { return portraits ? portraits->folder() : QString(); }
    bool hasWebcam() const { return portraits && portraits->camera() != nullptr; }
    PartyAlbum* album() const { return portraits ? portraits->album() : nullptr; }
    DesktopLink* desktopLink() const { return desktop.get(); }
    PartyMode partyMode() const { return partyModes ? partyModes->current() : PartyMode(); }
    StopMotion* stopMotionFrames() const { return partyModes ? partyModes->frames() : nullptr; }
    PhoneDesk* phones() const { return phoneWiring ? phoneWiring->desk() : nullptr; }
    HostGate* gate() const { return hostGate.get(); }
    KioskScreen* kiosk() const { return kioskScreen.get(); }
    // The queue row's playing cell, pause and volume; the cover picture of the playing song goes in here.
    NowPlayingRow* nowPlayingRow() const { return nowPlaying.get(); }

    // Column widths and row height of the queue table: the columns share the width exactly.
    void layoutQueueColumns();
    // Rebuilds the grid of song cells and the genre buttons; `waitForMutex` false when the caller holds
    // the library mutex already.
    void refreshLibraryTable(const QString& searchText, bool waitForMutex);
    // Start a job for every MP3 file below a folder, or for a list of files.
    void addFolder(const QDir& folder);
    void addFileList(const QStringList& paths);
    void updateAcceptLabel(const QString& folder);
    void startSnapshotJob(bool showComment, const QString& folder, const QString& fileName);
    // Switches phone wishes on or off (the host's key).
    void togglePhones();

signals:
    void notifyFromBaseThread();

public slots:
    bool NotifyQueueOfFinishedSong();
    void NotifyOfAddingCancelled();
    void NotifyOfAddingFinished();
    void NotifyOfAddTrackProgress(int progressValue);
    void NotifyOfAddingOneTrackDone(int index);
    void startTimer();
    void addFiles();
    void aboutBox(int result = 0);
    void openManual();
    void filesAddedOK();
    void filedialog_DirectoryWasEntered(QString folder);
    void filedialog_DirectoryWasClickedOn(QString path);
    void genreButtonClicked(QAbstractButton* button_in);
    void songHistoryToggled(bool shown);
    void pauseWasPressed();
    void selectionHasChanged();
    // The mode dialog for the host (Ctrl+M, the About box); closing it applies and stores the mode.
    void openPartyMode();
    // Host controls: skip the playing song (Ctrl+N); take back the waiting wish at a queue position (Delete
    // on its queue cell). Behind the PIN in kiosk mode; both logged.
    void skipSong();
    void removeWish(int position);

private slots:
    void itemWasActivated(QTableWidgetItem* item);
    void shutdown();
    void toggleFullscreen();
    void screenResolutionHasChanged(int screen);
    void timerUpdate();

public slots:
    void cancelAddingThread();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The start-up steps, in their order.
    void createAddingRelay();
    bool openSound();
    void readPartySettings();
    void setUpWidgets();
    void createQueue();
    QSize openWebcam();
    void createDesktopLink();
    void showHint();
    void connectWindow();
    void createShortcuts();
    void createPlayback();
    void createPhoneDesk(QSize photoSize);
    void connectDesktop();
    void nameForScreenReaders();

    void applyUiSettingsAndStyle();
    void closeDialogs();
    // Hides the About box at once and deletes it once its signals are through.
    void dismissAboutBox();
    void showLibraryTable();
    void buildGenreButtons();
    QTableWidgetSearchable* libraryTable() const;
    // Switches kiosk mode, the wish portraits and the stop-motion frames to `chosen`, as far as the
    // camera opened at start allows.
    void applyPartyMode(PartyMode chosen);
    // Every song is free again: the grid shows all genres.
    void showAllGenresAgain();
    // Fits the grid and the queue row to their current size.
    void fitTables();

    int fullscreen = 0;
    Track* selectedTrack = nullptr;
    bool songHistoryShown = false;
    std::unique_ptr<Ui::MainWindow> ui;
    QSettings* settings = nullptr;
    bool useWebcam = false;
    bool initFailed = true;
    QTableWidgetItem* hintItem = nullptr;
    std::unique_ptr<TrackLibrary> library;
    std::unique_ptr<ForeignerBackend> audioBackend;
    std::unique_ptr<PlayQueue> playQueue;
    // The grid's cell of every song it shows, filled by each refresh.
    SongCellIndex gridCells;
    std::unique_ptr<SongGrid> songGrid;
    std::unique_ptr<GenreFilterBar> genreBar;
    std::unique_ptr<QTimer> updateTimer;
    std::unique_ptr<QAction> addSongsAction;
    std::unique_ptr<QAction> fullscreenAction;
    std::unique_ptr<QShortcut> manualShortcut;
    std::unique_ptr<QShortcut> escapeShortcut;
    std::unique_ptr<QShortcut> partyModeShortcut;
    std::unique_ptr<QShortcut> skipShortcut;
    std::unique_ptr<QShortcut> removeShortcut;
    std::unique_ptr<QMutex> libraryMutex;
    std::unique_ptr<AddingRelay> addingRelay;
    std::unique_ptr<AddSongsController> addSongs;
    QString addSongsButtonText;
    About* aboutDialog = nullptr;
    TimerBorderHue borderHue{this};
    std::unique_ptr<Floater> floater;
    std::unique_ptr<PortraitJobs> portraits;
    std::unique_ptr<DesktopLink> desktop;
    std::unique_ptr<HostGate> hostGate;
    std::unique_ptr<PartyModeSwitch> partyModes;
    std::unique_ptr<KioskScreen> kioskScreen;
    std::unique_ptr<PlaybackControl> playback;
    std::unique_ptr<PhoneWiring> phoneWiring;
    std::unique_ptr<NowPlayingRow> nowPlaying;
    std::unique_ptr<TextScaling> textScaling;
};
