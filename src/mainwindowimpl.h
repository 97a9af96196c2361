#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QList>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "TimerBorderHue.h"

namespace Ui {
class MainWindow;
}
namespace opencv {
class Snapshot;
}
class About;
class Floater;
class ForeignerBackend;
class PlayQueue;
class QAbstractButton;
class QAction;
class QButtonGroup;
class QFileDialog;
class QMutex;
class QSettings;
class QShortcut;
class QTableWidgetItem;
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
    const TimerBorderHue& borderHueTimer() const { return borderHue; }
    About* aboutDialogShown() const { return aboutDialog; }
    QTableWidgetItem* hintCell() const { return hintItem; }

    // Column widths and row height of the queue table: the columns share the width exactly.
    void layoutQueueColumns();

signals:
    void notifyFromBaseThread();

public slots:
    void startTimer();
    void aboutBox(int result = 0);
    void openManual();
    void cancelAddingThread();

private slots:
    void shutdown();
    void toggleFullscreen();
    void screenResolutionHasChanged(int screen);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;

private:
    void applyUiSettingsAndStyle();
    void showOutOfMemory();
    void closeDialogs();

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
    QString addSongsButtonText;
    About* aboutDialog = nullptr;
    TimerBorderHue borderHue{this};
    opencv::Snapshot* webcam = nullptr;
    QFuture<void> snapshotFuture;
    Floater* floater = nullptr;
    QString portraitDirectory;
};
