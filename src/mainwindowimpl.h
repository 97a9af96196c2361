#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "SongCellIndex.h"
#include "TimerBorderHue.h"

namespace Ui {
class MainWindow;
}
namespace opencv {
class Snapshot;
}
class About;
class DesktopLink;
class Floater;
class PartyAlbum;
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
    bool isAdding() const { return adding; }
    bool isPaused() const { return paused; }
    const TimerBorderHue& borderHueTimer() const { return borderHue; }
    About* aboutDialogShown() const { return aboutDialog; }
    Floater* floaterShown() const { return floater.get(); }
    QFileDialog* ownFolderDialog() const { return fileDialog; }
    QTableWidgetItem* hintCell() const { return hintItem; }
    TrackLibrary* trackLibrary() const { return library; }
    PlayQueue* queue() const { return playQueue; }
    const SongCellIndex& songCells() const { return gridCells; }
    Track* selectedSong() const { return selectedTrack; }
    const std::vector<QAbstractButton*>& genreFilterButtons() const { return genreButtons; }
    QString selectedGenre() const { return currentGenre; }
    QString portraitFolder() const { return portraitDirectory; }
    bool hasWebcam() const { return webcam != nullptr; }
    PartyAlbum* album() const { return partyAlbum.get(); }
    DesktopLink* desktopLink() const { return desktop.get(); }

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
    // Whether the genre filter in force shows songs of this genre.
    bool shownByFilter(const QString& genre) const;
    // The filter a genre button stands for (currentGenre, genreFilterMode): "All genres" (also for an
    // index that is no button), "The rest" (the last button, when genreList is not empty) or its genre.
    std::pair<QString, int> filterOfButton(int index) const;
    void showAllGenres();
    void startAddingJob(const QFuture<Track*>& job);
    // Creates the library, logs the request and starts the job that `start` builds (false: nothing to add).
    void requestAddingJob(const std::function<bool(QFuture<Track*>&)>& start);
    // The same with `libraryMutex` held and no job unfinished.
    void startRequestedJob(const std::function<bool(QFuture<Track*>&)>& start);
    void startWaitingRequests();
    void endAddingJob(bool cancelled);
    // Gives one result of the running job to the library, once, when it is ready.
    void handOverResult(int index);
    // The first notification of the first job switches the grid on; true when this was it.
    bool firstNotificationShowsGrid();
    QTableWidgetSearchable* libraryTable() const;
    // Tells the desktop what plays now.
    void publishPlayback();

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
    int addProgressValue = 0;
    int untaggedCount = 0;
    int duplicateCount = 0;
    QFileDialog* fileDialog = nullptr;
    QTableWidgetItem* hintItem = nullptr;
    TrackLibrary* library = nullptr;
    ForeignerBackend* audioBackend = nullptr;
    PlayQueue* playQueue = nullptr;
    // The grid's cell of every song it shows, filled by each refresh.
    SongCellIndex gridCells;
    QTimer* updateTimer = nullptr;
    QAction* addSongsAction = nullptr;
    QAction* fullscreenAction = nullptr;
    QShortcut* manualShortcut = nullptr;
    QShortcut* escapeShortcut = nullptr;
    bool paused = false;
    QMutex* libraryMutex = nullptr;
    QFutureWatcher<Track*> addWatcher;
    int addProgressMaximum = 0;
    bool adding = false;
    // A job has started and its end has not been handled yet; a new job must wait for it, or the watcher
    // would lose the earlier job's results.
    bool jobUnfinished = false;
    // Which results of the running job the library has had; the last progress value may take them before
    // their own notifications arrive.
    std::vector<bool> resultHandedOver;
    // Jobs requested before the last one ended, started in turn when it has.
    std::deque<std::function<bool(QFuture<Track*>&)>> waitingRequests;
    QString addSongsButtonText;
    About* aboutDialog = nullptr;
    TimerBorderHue borderHue{this};
    std::unique_ptr<opencv::Snapshot> webcam;
    QFuture<void> snapshotFuture;
    std::unique_ptr<Floater> floater;
    std::unique_ptr<PartyAlbum> partyAlbum;
    QString portraitDirectory;
    // Songs in the library when the running adding job started, for its notice.
    int tracksBeforeJob = 0;
    std::unique_ptr<DesktopLink> desktop;
};
