// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <utility>
#include <vector>

#include "party/PartyMode.h"
#include "ui/SongCellIndex.h"
#include "ui/TimerBorderHue.h"

namespace Ui {
class MainWindow;
}
namespace opencv {
class Snapshot;
}
class About;
class DesktopLink;
class AddingRelay;
class Floater;
class KioskGuard;
class StopMotion;
class PartyAlbum;
class PhoneDesk;
class PhonePanel;
class ForeignerBackend;
class PlayQueue;
class QAbstractButton;
class QAction;
class QButtonGroup;
class QDir;
class QFileDialog;
class QMutex;
class QSettings;
class QShortcut;
class QTableWidgetItem;
class QTableWidgetSearchable;
class QTimer;
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
    bool isPaused() const { return paused; }
    const TimerBorderHue& borderHueTimer() const { return borderHue; }
    About* aboutDialogShown() const { return aboutDialog; }
    Floater* floaterShown() const { return floater.get(); }
    QFileDialog* ownFolderDialog() const { return fileDialog; }
    QTableWidgetItem* hintCell() const { return hintItem; }
    TrackLibrary* trackLibrary() const { return library.get(); }
    PlayQueue* queue() const { return playQueue.get(); }
    const SongCellIndex& songCells() const { return gridCells; }
    Track* selectedSong() const { return selectedTrack; }
    const std::vector<QAbstractButton*>& genreFilterButtons() const { return genreButtons; }
    QString selectedGenre() const { return currentGenre; }
    QString portraitFolder() const { return portraitDirectory; }
    bool hasWebcam() const { return webcam != nullptr; }
    PartyAlbum* album() const { return partyAlbum.get(); }
    DesktopLink* desktopLink() const { return desktop.get(); }
    PartyMode partyMode() const { return mode; }
    StopMotion* stopMotionFrames() const { return stopMotion.get(); }
    PhoneDesk* phones() const { return phoneDesk.get(); }

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
    void applyUiSettingsAndStyle();
    void showOutOfMemory();
    void closeDialogs();
    // Hides the About box at once and deletes it once its signals are through.
    void dismissAboutBox();
    void showLibraryTable();
    void buildGenreButtons();
    // Gives every song the genre filter shows a cell, in library order, and tells the songs whether they
    // are shown; the number of cells placed.
    int placeSongs(int columns, Track*& firstShown);
    void setAsideFrom(int row, int columns);
    // Whether the genre filter in force shows songs of this genre.
    bool shownByFilter(const QString& genre) const;
    // The filter a genre button stands for (currentGenre, genreFilterMode): "All genres" (also for an
    // index that is no button), "The rest" (the last button, when genreList is not empty) or its genre.
    std::pair<QString, int> filterOfButton(int index) const;
    void showAllGenres();
    QTableWidgetSearchable* libraryTable() const;
    // Tells the desktop and the phones what plays now.
    void publishPlayback();
    // Asks the kiosk guard before a host action; in kiosk mode that means the host PIN. True: go ahead.
    bool hostMayAct();
    // Switches kiosk mode, the wish portraits and the stop-motion frames to `chosen`, as far as the
    // camera opened at start allows.
    void applyPartyMode(PartyMode chosen);
    // Stops the stop-motion frames and makes them into the run's film.
    void finishStopMotion();
    // Every song is free again: the grid shows all genres.
    void showAllGenresAgain();
    // Fits the grid and the queue row to their current size.
    void fitTables();
    void createPhoneDesk(int photoWidth, int photoHeight);
    void showPhonePanel(bool running, const QString& address);
    // The portrait folder, made now when no webcam made it; "" when it cannot be made.
    QString portraitFolderForPhones();

    int fullscreen = 0;
    Track* selectedTrack = nullptr;
    std::vector<QAbstractButton*> genreButtons;
    QButtonGroup* genreButtonGroup = nullptr;
    QString currentGenre;
    int genreButtonIndex = 0;
    int genreFilterMode = 0;
    QList<QString> genreList;
    bool songHistoryShown = false;
    std::unique_ptr<Ui::MainWindow> ui;
    QSettings* settings = nullptr;
    bool useWebcam = false;
    bool initFailed = true;
    QFileDialog* fileDialog = nullptr;
    QTableWidgetItem* hintItem = nullptr;
    std::unique_ptr<TrackLibrary> library;
    std::unique_ptr<ForeignerBackend> audioBackend;
    std::unique_ptr<PlayQueue> playQueue;
    // The grid's cell of every song it shows, filled by each refresh.
    SongCellIndex gridCells;
    std::unique_ptr<QTimer> updateTimer;
    std::unique_ptr<QAction> addSongsAction;
    std::unique_ptr<QAction> fullscreenAction;
    std::unique_ptr<QShortcut> manualShortcut;
    std::unique_ptr<QShortcut> escapeShortcut;
    std::unique_ptr<QShortcut> partyModeShortcut;
    std::unique_ptr<QShortcut> skipShortcut;
    std::unique_ptr<QShortcut> removeShortcut;
    bool paused = false;
    std::unique_ptr<QMutex> libraryMutex;
    std::unique_ptr<AddingRelay> addingRelay;
    QString addSongsButtonText;
    About* aboutDialog = nullptr;
    TimerBorderHue borderHue{this};
    std::unique_ptr<opencv::Snapshot> webcam;
    QFuture<void> snapshotFuture;
    std::unique_ptr<Floater> floater;
    std::unique_ptr<PartyAlbum> partyAlbum;
    QString portraitDirectory;
    std::unique_ptr<DesktopLink> desktop;
    PartyMode mode;
    int stopMotionSeconds = 20;
    std::unique_ptr<KioskGuard> kioskGuard;
    // Times the wrong PINs of the guard, steady whatever the wall clock does.
    QElapsedTimer hostClock;
    std::unique_ptr<StopMotion> stopMotion;
    // Portraits come from phones too: the floater shows them even without a webcam.
    bool phonePortraits = false;
    std::unique_ptr<PhoneDesk> phoneDesk;
    PhonePanel* phonePanel = nullptr;
    QAction* phonesAction = nullptr;
};
