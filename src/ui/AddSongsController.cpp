// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AddSongsController.h"

#include "base/platform.h"
#include "library/AddingRelay.h"
#include "library/TrackLibrary.h"
#include "tags/songformat.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

const QString lastFolderKey = QStringLiteral("LastNewMp3Directory");

// Enter in the folder line can end the dialog before the completion has read the typed folder; once it
// has, it would open its list over the grid, where the list swallows the next click, a guest's wish. A
// completion without a prefix waits for nothing.
void closeCompletionLists(const QWidget* dialog)
{
    for (QCompleter* completer : dialog->findChildren<QCompleter*>()) {
        completer->setCompletionPrefix(QString());
        if (QWidget* list = completer->popup())
            list->hide();
    }
}

} // namespace

AddSongsController::AddSongsController(AddingRelay& relay, AddSongsWindow window)
    : addingRelay(relay), view(std::move(window))
{}

AddSongsController::~AddSongsController()
{
    delete fileDialog;
}

void AddSongsController::addFiles()
{
    if (addingRelay.isAdding() || !view.hostMayAct())
        return;
    view.dismissAboutBox();
    QString startFolder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    QSettings* settings = view.settings();
    if (settings && settings->contains(lastFolderKey))
        startFolder = settings->value(lastFolderKey).toString();
    if (view.libraryEmpty() && useNativeFolderDialog(settings))
        chooseWithDesktopDialog(startFolder);
    else
        openOwnDialog(startFolder);
}

void AddSongsController::chooseWithDesktopDialog(const QString& startFolder)
{
    // The tick pauses while the dialog is open; it comes back only if it ran (not while paused).
    QTimer* tick = view.tick();
    const bool ticking = tick->isActive();
    tick->stop();
    // No parent: the window's black style sheet would otherwise paint Qt's own dialog black on black
    // wherever the desktop offers no dialog of its own.
    const QString folder = QFileDialog::getExistingDirectory(
        nullptr, QCoreApplication::translate("MainWindow", "Please select one folder containing MP3 files."),
        startFolder, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (ticking)
        tick->start(1000);
    if (!folder.isEmpty()) {
        addFolder(QDir(folder));
        rememberFolder(folder);
    }
    view.focusGrid();
}

void AddSongsController::openOwnDialog(const QString& startFolder)
{
    if (!fileDialog) {
        fileDialog = new QFileDialog(
            nullptr,
            QCoreApplication::translate("MainWindow",
                                        "Please select one directory and press the \"ADD all MP3s\" button"),
            startFolder, QString());
        fileDialog->setWindowFlag(Qt::WindowStaysOnTopHint);
        connect(fileDialog, &QFileDialog::finished, this, [this]() { closeCompletionLists(fileDialog); });
        connect(fileDialog, &QFileDialog::accepted, this, &AddSongsController::filesAddedOK);
        connect(fileDialog, &QFileDialog::directoryEntered, this, &AddSongsController::updateAcceptLabel);
        connect(fileDialog, &QFileDialog::currentChanged, this, &AddSongsController::updateAcceptLabel);
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

void AddSongsController::updateAcceptLabel(const QString& folder)
{
    if (!fileDialog)
        return;
    const QDir directory(folder);
    const QString name = directory.dirName();
    if (!name.isEmpty() && directory.exists() && name != QLatin1String(".")) {
        const QStringList songs = directory.entryList(
            songFileNameFilters(), QDir::Files | QDir::Hidden | QDir::Readable | QDir::NoSymLinks);
        // A folder of MP3s is named as it always was; one that holds songs of other formats counts songs.
        const bool onlyMp3s = std::all_of(songs.cbegin(), songs.cend(), [](const QString& song) {
            return song.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive);
        });
        QString label = (onlyMp3s ? QStringLiteral("ADD all %1 MP3s in\n\"%2\"")
                                  : QCoreApplication::translate("MainWindow", "ADD all %1 songs in\n\"%2\""))
                            .arg(songs.size())
                            .arg(name);
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

void AddSongsController::filesAddedOK()
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
    if (!remembered.isEmpty())
        rememberFolder(remembered);
    view.focusGrid();
}

void AddSongsController::rememberFolder(const QString& folder)
{
    if (QSettings* settings = view.settings()) {
        settings->setValue(lastFolderKey, QDir::toNativeSeparators(folder));
        settings->sync();
    }
}

void AddSongsController::dragEnter(QDragEnterEvent* event) const
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")) && !addingRelay.isAdding())
        event->acceptProposedAction();
}

void AddSongsController::drop(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls() || addingRelay.isAdding())
        return;
    QStringList entries;
    for (const QUrl& url : event->mimeData()->urls()) {
        // Only files of this machine: a file URL naming a host would read as a local path ("//host/share"
        // is "/host/share" here).
        const QString path = url.isLocalFile() && url.host().isEmpty() ? url.toLocalFile() : QString();
        if (!path.isEmpty())
            entries << path;
    }
    addEntries(entries);
}

void AddSongsController::addEntries(const QStringList& entries)
{
    if (entries.isEmpty() || !view.hostMayAct())
        return;
    // Every folder and file goes into one job, in the given order, so no job's results are lost to the
    // next one.
    addingRelay.request([entries](const TrackLibrary& songs, FolderScan& scan) {
        return songs.droppedFiles(entries, &scan);
    });
}

void AddSongsController::addFolder(const QDir& folder)
{
    if (!folder.exists())
        return;
    const QFileInfo entry(folder.absolutePath());
    addingRelay.request(
        [entry](const TrackLibrary& songs, FolderScan& scan) { return songs.filesBelow(entry, &scan); });
}

void AddSongsController::addFileList(const QStringList& paths)
{
    addingRelay.request([paths](const TrackLibrary& songs, FolderScan&) { return songs.listedFiles(paths); });
}
