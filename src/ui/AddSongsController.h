// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class AddingRelay;
class QDir;
class QDragEnterEvent;
class QDropEvent;
class QFileDialog;
class QSettings;
class QTimer;

// What adding songs asks of its window, read when needed: most of it exists only once the start-up is
// through, while songs may be asked for from the first moment.
struct AddSongsWindow
{
    std::function<bool()> hostMayAct;
    // The About box stays on top of every window: it goes before a folder dialog opens beneath it.
    std::function<void()> dismissAboutBox;
    std::function<bool()> libraryEmpty;
    std::function<QSettings*()> settings;
    // The one-second tick, paused while the desktop's folder dialog is open.
    std::function<QTimer*()> tick;
    std::function<void()> focusGrid;
};

// The ways songs come in: the Add Songs dialogs (the desktop's folder dialog for an empty library, Qt's
// own with its counting accept label otherwise) and drops; each becomes one job of the adding relay.
class AddSongsController : public QObject
{
    Q_OBJECT

public:
    AddSongsController(AddingRelay& relay, AddSongsWindow window);
    ~AddSongsController() override;
    AddSongsController(const AddSongsController&) = delete;
    AddSongsController& operator=(const AddSongsController&) = delete;

    QFileDialog* dialog() const { return fileDialog; }
    void addFiles();
    void updateAcceptLabel(const QString& folder);
    void filesAddedOK();
    void dragEnter(QDragEnterEvent* event) const;
    void drop(QDropEvent* event);
    // What a drop adds (absolute paths of folders and songs), also when they come from the command line;
    // in kiosk mode only with the host's PIN. A job that runs already finishes first.
    void addEntries(const QStringList& entries);
    void addFolder(const QDir& folder);
    void addFileList(const QStringList& paths);

private:
    void chooseWithDesktopDialog(const QString& startFolder);
    void openOwnDialog(const QString& startFolder);
    void rememberFolder(const QString& folder);

    AddingRelay& addingRelay;
    AddSongsWindow view;
    QFileDialog* fileDialog = nullptr;
};
