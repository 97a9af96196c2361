// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QTableWidgetSearchable.h"

#include "base/textfold.h"

#include <QApplication>
#include <QKeyEvent>

QTableWidgetSearchable::QTableWidgetSearchable(QWidget* parentWindow)
    : QTableWidget(parentWindow), ownerWindow(parentWindow)
{}

QTableWidgetSearchable::~QTableWidgetSearchable() = default;

void QTableWidgetSearchable::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool typed = !text.isEmpty() && text.at(0).isPrint() &&
                       !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!typed) {
        QAbstractItemView::keyPressEvent(event);
        return;
    }
    // The item view's own search looks in the current column only; a song may stand in any of them.
    if (!sinceLastKey.isValid() || sinceLastKey.elapsed() > QApplication::keyboardInputInterval())
        searchText.clear();
    sinceLastKey.start();
    searchText += text;
    if (!jumpTo(searchText)) {
        // A new first letter after a miss starts a new search, as the item view's own search does.
        searchText = text;
        jumpTo(searchText);
    }
    event->accept();
}

bool QTableWidgetSearchable::jumpTo(const QString& typed)
{
    const QString wanted = foldedForSearch(typed);
    if (wanted.trimmed().isEmpty())
        return false;
    for (int row = 0; row < rowCount(); ++row) {
        for (int column = 0; column < columnCount(); ++column) {
            QTableWidgetItem* cell = item(row, column);
            if (cell && foldedForSearch(cell->text()).startsWith(wanted)) {
                setCurrentCell(row, column);
                scrollToItem(cell);
                return true;
            }
        }
    }
    return false;
}
