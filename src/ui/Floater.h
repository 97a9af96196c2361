// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class QPoint;
class QRect;
class QSize;
class QTableWidget;
namespace Ui {
class FloaterDialog;
}

// A borderless window above the library table with a guest's portrait. Comment-entry mode asks for the
// comment once, right after the photo was taken; view mode shows the photo and its stored comment on
// the half of the table away from the selected cell, leaving the keyboard with the table.
class Floater : public QDialog
{
    Q_OBJECT

public:
    // Shows `photoPath` beside `libraryTable`, whose cell in `column` is selected. A photo that cannot be
    // loaded is logged and leaves the window hidden and empty.
    Floater(const QString& photoPath, bool viewMode, QTableWidget* libraryTable, int column,
            QWidget* parent = nullptr);
    ~Floater() override;

    // The photo loaded and the window was built and shown.
    bool isBuilt() const { return ui != nullptr; }

signals:
    // The comment is in the photo file now.
    void commentWritten();

public slots:
    // Stores the line's text (also an empty one) in the photo and closes the window.
    void addComment();

private:
    void applyStyle();
    void nameForScreenReaders(bool viewMode);
    void stayAbove(QWidget* mainWindow);
    void showComment();

    QString photoPath;
    std::unique_ptr<Ui::FloaterDialog> ui;
};

// The largest picture beside a selected cell: 80 % of the table's height, and half its width; with an
// odd column count the whole columns left of the middle one.
QSize floaterPictureLimit(const QSize& tableFrame, int columnCount, int firstColumnWidth);

// Whether the view window takes the table's right half: the half away from the selected column, with the
// middle column of an odd table counting as the left half.
bool floaterGoesRight(int columnCount, int column);

// Top-left corner that centres a window of `size` on `table` (screen coordinates).
QPoint floaterCentredPosition(const QRect& table, const QSize& size);

// Top-left corner of the view window: centred on `table` vertically, flush with its left or right edge.
QPoint floaterSidePosition(const QRect& table, const QSize& size, bool right);

// What the library table's selection says about a photographed song.
struct PhotoSelection
{
    bool cellSelected = false; // the library table has a selected cell
    bool songFound = false;    // the cell belongs to a song of the library
    QString photoFileName;     // the song's photo, "" when it has none
    bool taken = false;        // the song is queued, playing or played
    bool commentAsked = false; // the song's comment question is used up
    int column = 0;            // the selected cell's column
};

// The photo part of the library table's selection handler: drops, keeps or replaces `floater`. While
// songs are being added a shown window is neither dropped nor replaced. Returns true when a new Floater
// was made: the caller then marks the song's comment as asked.
bool followLibrarySelection(std::unique_ptr<Floater>& floater, const PhotoSelection& selection,
                            bool webcamInUse, bool adding, const QString& portraitDirectory,
                            QTableWidget* libraryTable);
