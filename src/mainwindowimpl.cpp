#include "mainwindowimpl.h"

#include "About.h"
#include "AllBaseBackend.h"
#include "appidentity.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "style.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QMutex>
#include <QMutexLocker>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <new>

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

} // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::MainWindow>())
{
    fullscreenActive = false;
    libraryMutex = new QMutex;

    initVimoResources();
    setWindowIcon(programIcon());

    runFolder();

    auto* backend = new (std::nothrow) AllBaseBackend;
    audioBackend = backend;
    if (!backend || !backend->init(static_cast<quintptr>(winId()))) {
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
    useWebcam = false;
    useWebcam = askForWebcam();

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

    int deviceId = 0;
    int width = 1280;
    int height = 1024;
    if (settings) {
        settings->beginGroup(QStringLiteral("Webcam"));
        deviceId = readIntOrWriteDefault(*settings, QStringLiteral("DirectX Device ID"), deviceId);
        width = readIntOrWriteDefault(*settings, QStringLiteral("Width"), width);
        height = readIntOrWriteDefault(*settings, QStringLiteral("Height"), height);
        settings->endGroup();
        settings->sync();
    }
    Q_UNUSED(deviceId)
    Q_UNUSED(width)
    Q_UNUSED(height)
    logMessage(tr("Webcam initialization failed."));

    QTableWidget* libraryTable = ui->myTableWidgetForLibrary;
    libraryTable->setRowCount(1);
    libraryTable->setColumnCount(1);
    libraryTable->setColumnWidth(0, libraryTable->width());
    libraryTable->setRowHeight(0, libraryTable->height());
    hintItem = new QTableWidgetItem(tr("Drag a folder or mp3 files here") + QStringLiteral("\n\n") +
                                    tr("F1 shows the manual"));
    styleTableCell(hintItem);
    hintItem->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    QFont hintFont(QStringLiteral("Arial"), 22);
    hintFont.setStyleStrategy(QFont::PreferAntialias);
    hintItem->setFont(hintFont);
    libraryTable->setItem(0, 0, hintItem);

    queueTable->setSelectionMode(QAbstractItemView::NoSelection);
    libraryTable->setSelectionMode(QAbstractItemView::NoSelection);

    applyButtonStyle(ui->myButtonPause, 11, QStringLiteral("261e70"), QStringLiteral("4a38f9"),
                     QStringLiteral("000000"), QStringLiteral("000000"));

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

    requestKeepAwake();

    addSongsAction = new QAction(tr("Add Songs"), this);
    addSongsAction->setShortcut(QKeySequence(tr("Alt+A")));
    escapeShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escapeShortcut, &QShortcut::activated, this, &MainWindow::cancelAddingThread);
    manualShortcut = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(manualShortcut, &QShortcut::activated, this, &MainWindow::openManual);
    fullscreenAction = new QAction(this);
    fullscreenAction->setShortcut(QKeySequence(tr("Ctrl+F")));
    connect(ui->aboutButton, &QPushButton::clicked, this, [this]() { aboutBox(); });
    connect(fullscreenAction, &QAction::triggered, this, &MainWindow::toggleFullscreen);
    addAction(addSongsAction);
    addAction(fullscreenAction);
    updateTimer = new QTimer;

    initFailed = false;
    setAcceptDrops(true);
}

MainWindow::~MainWindow()
{
    if (!initFailed) {
        addWatcher.cancel();
        addWatcher.waitForFinished();
    }
    delete aboutDialog;
    aboutDialog = nullptr;
    if (updateTimer)
        updateTimer->stop();
    delete updateTimer;
    delete fullscreenAction;
    delete addSongsAction;
    delete escapeShortcut;
    delete manualShortcut;
    snapshotFuture.waitForFinished();
    if (audioBackend) {
        audioBackend->free();
        delete static_cast<AllBaseBackend*>(audioBackend);
    }
    releaseSettingsStore(settings);
    delete libraryMutex;
}

void MainWindow::applyUiSettingsAndStyle()
{
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
    ui->myTableWidgetForLibrary->setStyleSheet(libraryTableStyleSheet());
}

void MainWindow::showOutOfMemory()
{
    QMessageBox::critical(this, criticalTitle(), tr("Out of memory."));
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

void MainWindow::startTimer()
{
    if (updateTimer)
        updateTimer->start(1000);
}

void MainWindow::aboutBox(int result)
{
    Q_UNUSED(result)
    if (aboutDialog) {
        // accepted() may still be on its way out of the dialog: let the event loop delete it, and hear
        // nothing more from it ("OK" both accepts and closes, which would otherwise open a new box).
        aboutDialog->disconnect(this);
        aboutDialog->hide();
        aboutDialog->deleteLater();
        aboutDialog = nullptr;
        ui->myTableWidgetForLibrary->setFocus(Qt::OtherFocusReason);
        return;
    }
    aboutDialog = new About(this);
    connect(aboutDialog, &QDialog::accepted, this, [this]() { aboutBox(); });
}

void MainWindow::openManual()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(manualPath()));
}

void MainWindow::cancelAddingThread()
{
    addWatcher.cancel();
}

void MainWindow::closeDialogs()
{
    if (adding)
        cancelAddingThread();
    if (fileDialog)
        fileDialog->close();
    if (aboutDialog)
        aboutDialog->close();
}

void MainWindow::shutdown()
{
    closeDialogs();
    close();
}

void MainWindow::toggleFullscreen()
{
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
    QMutexLocker lock(libraryMutex);
    layoutQueueColumns();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    if (ui->myTableWidgetForLibrary) {
        QMutexLocker lock(libraryMutex);
        QTableWidget* libraryTable = ui->myTableWidgetForLibrary;
        if (libraryTable->rowCount() == 1 && libraryTable->columnCount() == 1) {
            libraryTable->setRowHeight(0, libraryTable->height());
            libraryTable->setColumnWidth(0, libraryTable->width());
        }
        layoutQueueColumns();
    }
    QWidget::resizeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // At a party the screen belongs to the guests: in full screen the window system's close (title bar,
    // Alt+F4) is refused, and only the About box's quit button ends the program.
    if (fullscreenActive && event->spontaneous()) {
        event->ignore();
        return;
    }
    closeDialogs();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")) && !adding)
        event->acceptProposedAction();
}
