// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SongGrid.h"

#include "base/plaintext.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/PlayQueue.h"
#include "ui/Floater.h"
#include "ui/GenreFilterBar.h"
#include "ui/SongCellIndex.h"
#include "ui/gridshape.h"
#include "ui/songcells.h"
#include "ui/style.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <memory>
#include <vector>

namespace {

// Scroll bars, rows, columns and column widths of the grid for `songs` cells in the table as it is now.
GridShape applyGridShape(QTableWidget* table, int songs)
{
    const int width = table->width();
    const int height = table->height();
    const CellMinimum cell = scaledCellMinimum(textScale().sizes);
    const bool scrolls = gridScrolls(width, height, songs, cell);
    table->horizontalScrollBar()->hide();
    table->verticalScrollBar()->setVisible(scrolls);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const GridShape shape = gridShape(width, height, songs, table->lineWidth(),
                                      scrolls ? table->verticalScrollBar()->width() : 0, cell);
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

SongGrid::SongGrid(QTableWidget* grid, SongCellIndex& songCells) : table(grid), gridCells(songCells) {}

QTableWidgetItem* SongGrid::showHint(const QString& text)
{
    table->setRowCount(1);
    table->setColumnCount(1);
    table->setColumnWidth(0, table->width());
    table->setRowHeight(0, table->height());
    auto* hint = new QTableWidgetItem(text);
    styleTableCell(hint);
    hint->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    hint->setFont(scaledArial(22));
    table->setItem(0, 0, hint);
    hintShown = true;
    return hint;
}

bool SongGrid::fitHint()
{
    if (table->rowCount() != 1 || table->columnCount() != 1)
        return false;
    table->setRowHeight(0, table->height());
    table->setColumnWidth(0, table->width());
    QTableWidgetItem* hint = table->item(0, 0);
    if (hintShown && hint && hint->font() != scaledArial(22))
        hint->setFont(scaledArial(22));
    return true;
}

void SongGrid::render(TrackLibrary& songs, const GenreFilterBar& filter, PlayQueue* queue, Track*& selected)
{
    library = &songs;
    genres = &filter;
    playQueue = queue;
    hintShown = false;
    // After a change of the text scale every cell is styled anew; the cells set aside would come back in
    // their old font, unseen, and go instead.
    const bool restyle = !qFuzzyCompare(styledPoints, textScale().points);
    if (restyle) {
        gridCells.dropAside();
        styledPoints = textScale().points;
    }
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
    const int placed = placeSongs(shape.columns, restyle, firstShown);
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
    if (queue)
        queue->followGenreFilter(library);
    if (!focusSong(selected, Qt::MouseFocusReason) && focusSong(firstShown, Qt::MouseFocusReason))
        selected = firstShown;
}

Track* SongGrid::selectedSong(TrackLibrary* songs, PhotoSelection& selection) const
{
    const QList<QTableWidgetItem*> selected = table->selectedItems();
    if (selected.isEmpty())
        return nullptr;
    const QTableWidgetItem* cell = selected.first();
    selection.cellSelected = true;
    selection.column = cell->column();
    Track* track = songs ? songs->findBySearchKey(cell->text().toLower()) : nullptr;
    if (track) {
        selection.songFound = true;
        selection.photoFileName = track->photoFileName();
        selection.taken = track->played() || track->queued() || track->playing();
        selection.commentAsked = track->commentAsked();
    }
    return track;
}

bool SongGrid::focusSong(const Track* track, Qt::FocusReason reason)
{
    QTableWidgetItem* cell = gridCells.cellOf(track);
    if (!cell)
        return false;
    table->setCurrentItem(cell, QItemSelectionModel::Select);
    table->setFocus(reason);
    return true;
}

int SongGrid::placeSongs(int columns, bool restyle, Track*& firstShown)
{
    int placed = 0;
    // Reading every song's genre costs more than all else of an unchanged refresh: only a filter asks.
    const bool everyGenre = genres->showsEveryGenre();
    // New cells of free songs, thousands a refresh while a large folder is added, are copies of one styled
    // cell: styling each of them took most of the refresh.
    std::unique_ptr<QTableWidgetItem> freeSong;
    // The filter is asked once a genre; comparing the genre texts of every song cost most of a switch.
    std::vector<signed char> genreShown;
    const auto shownByGenre = [&](const Track* track) {
        if (track->genreIndex() < 0)
            return genres->shows(track->genre());
        const auto genre = static_cast<size_t>(track->genreIndex());
        if (genre >= genreShown.size())
            genreShown.resize(genre + 1, -1);
        if (genreShown[genre] < 0)
            genreShown[genre] = genres->shows(track->genre()) ? 1 : 0;
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
        if (restyle)
            showsAlready = songStyle = false;
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
void SongGrid::setAsideFrom(int row, int columns)
{
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
