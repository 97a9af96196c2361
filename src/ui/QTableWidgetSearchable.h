// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTableWidget>

// The library grid. Typed letters run the item view's own keyboard search, which jumps to the next cell
// starting with them; since a cell starts with the artist, typing finds artists.
class QTableWidgetSearchable : public QTableWidget
{
    Q_OBJECT

public:
    explicit QTableWidgetSearchable(QWidget* ownerWindow = nullptr);
    ~QTableWidgetSearchable() override;

    QWidget* owner() const { return ownerWindow; }
    // The search text handed to every refresh of the grid; typing does not change it.
    QString currentSearchText() const { return searchText; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* ownerWindow = nullptr;
    QString searchText;
};
