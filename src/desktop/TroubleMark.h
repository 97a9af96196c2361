// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

// A small mark in the top corner of the song grid that stays while the run's records (log, playlist,
// photos) cannot be written, so the host sees it whenever they look, not only in the seconds of a notice.
// Never takes the focus or a click.
class TroubleMark : public QLabel
{
    Q_OBJECT

public:
    // `area` is the widget whose corner the mark sits in; both live in `window`.
    TroubleMark(QWidget* window, QWidget* area);

    // Shown while `failing`, saying what fails in its accessible description and tool tip.
    void showTrouble(bool failing, const QString& what);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QWidget* area = nullptr;
};
