// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop/textscale.h"

#include <QMetaObject>
#include <QObject>
#include <functional>

class QAbstractButton;
class QScreen;
class QSettings;
class QTableWidget;
class QWidget;

// Keeps the process-wide text scale in step with the host's `[UI] Text scale` and with the screen the window
// is on: moved to another screen, or on a screen that changes its size or dpi, the window grows with the
// scale unless it fills the screen, rescales the queue row and the pause button beside the genre buttons,
// then lays out its grid and genre buttons anew.
class TextScaling : public QObject
{
    Q_OBJECT

public:
    // `window` must have its native window already (winId()), so that its screen's changes are heard; shown
    // after, it opens at the scale's size. `relayout` lays out the grid, its genre buttons and the queue row.
    TextScaling(QWidget* window, QSettings* settings, QTableWidget* queueRow, QAbstractButton* pause,
                std::function<void()> relayout);

    // The setting as read at the start: 0 follows the screen.
    double setting() const { return chosen; }
    // Takes on the scale for the window's screen now, if it differs from the one in force.
    void follow();

private:
    void readSetting(QSettings* settings);
    void watch(QScreen* screen);
    // Sets and applies the scale for the window's screen; false when it is the one in force already.
    bool takeScreensScale();
    // Restyles what is shown already for the scale now in force; `before` is the one it was shown at.
    void apply(const TextScale& before);

    QWidget* window = nullptr;
    QTableWidget* queueRow = nullptr;
    QAbstractButton* pauseButton = nullptr;
    std::function<void()> relayout;
    double chosen = automaticTextScale;
    QMetaObject::Connection screenGeometry;
    QMetaObject::Connection screenDpi;
};
