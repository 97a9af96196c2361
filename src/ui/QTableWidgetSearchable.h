// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QTableWidget>

// The library grid. Typed letters jump to the first cell that starts with them, across every row and
// column, compared as the phones' search compares (case, accents and Unicode forms folded); since a cell
// starts with the artist, typing finds artists. The grid is never narrowed by the text.
class QTableWidgetSearchable : public QTableWidget
{
    Q_OBJECT

public:
    explicit QTableWidgetSearchable(QWidget* ownerWindow = nullptr);
    ~QTableWidgetSearchable() override;

    QWidget* owner() const { return ownerWindow; }
    // The letters typed so far; a pause longer than the desktop's keyboard interval starts a new text.
    QString currentSearchText() const { return searchText; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool jumpTo(const QString& typed);

    QWidget* ownerWindow = nullptr;
    QString searchText;
    QElapsedTimer sinceLastKey;
};
