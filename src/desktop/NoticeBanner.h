// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

class NoticeBoard;

// Shows the board's notice over the foot of the song grid: never over the queue, never taking the
// keyboard focus or a click from the grid.
class NoticeBanner : public QLabel
{
    Q_OBJECT

public:
    // `area` is the widget whose foot the banner covers; both live in `window`.
    NoticeBanner(QWidget* window, QWidget* area, const NoticeBoard* board);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showNotice(const QString& text);
    void place();

    QWidget* area = nullptr;
};
