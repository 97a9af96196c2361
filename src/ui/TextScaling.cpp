// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TextScaling.h"

#include "base/plaintext.h"
#include "base/runlog.h"
#include "ui/gridshape.h"
#include "ui/queuerow.h"
#include "ui/style.h"

#include <QAbstractButton>
#include <QScreen>
#include <QSettings>
#include <QTableWidget>
#include <QWidget>
#include <QWindow>
#include <utility>

TextScaling::TextScaling(QWidget* shownWindow, QSettings* settings, QTableWidget* queue,
                         QAbstractButton* pause, std::function<void()> layOut)
    : window(shownWindow), queueRow(queue), pauseButton(pause), relayout(std::move(layOut))
{
    readSetting(settings);
    if (QWindow* handle = window->windowHandle()) {
        watch(handle->screen());
        connect(handle, &QWindow::screenChanged, this, [this](QScreen* screen) {
            watch(screen);
            follow();
        });
    }
    // A window before this one may have left another scale behind.
    const TextScale before = textScale();
    setTextScale(textScaleFor(0, 0, chosen));
    if (!takeScreensScale())
        apply(before);
}

void TextScaling::readSetting(QSettings* settings)
{
    if (!settings)
        return;
    const QString key = QStringLiteral("Text scale");
    settings->beginGroup(QStringLiteral("UI"));
    if (!settings->contains(key))
        settings->setValue(key, automaticTextScale);
    const QString stored = settings->value(key).toString();
    settings->endGroup();
    settings->sync();
    const TextScaleSetting setting = readTextScaleSetting(stored);
    chosen = setting.value;
    if (setting.trouble == TextScaleSetting::Trouble::notANumber)
        logMessage(tr("The setting [UI] Text scale is \"%1\", not a number from 0 to 4: the text follows the "
                      "screen.")
                       .arg(oneLineText(stored)));
    else if (setting.trouble == TextScaleSetting::Trouble::outOfBounds)
        logMessage(tr("The setting [UI] Text scale is %1, outside %2 to %3: %4 is used.")
                       .arg(oneLineText(stored))
                       .arg(smallestTextScale)
                       .arg(largestTextScale)
                       .arg(chosen));
}

void TextScaling::watch(QScreen* screen)
{
    disconnect(screenGeometry);
    disconnect(screenDpi);
    if (!screen)
        return;
    screenGeometry = connect(screen, &QScreen::geometryChanged, this, &TextScaling::follow);
    screenDpi = connect(screen, &QScreen::logicalDotsPerInchChanged, this, &TextScaling::follow);
}

void TextScaling::follow()
{
    if (takeScreensScale() && relayout)
        relayout();
}

bool TextScaling::takeScreensScale()
{
    const QScreen* screen = window->screen();
    if (!screen)
        return false;
    const QRect area = screen->geometry();
    const TextScale scale = textScaleFor(area.height(), screen->logicalDotsPerInchY(), chosen);
    if (scale == textScale())
        return false;
    const TextScale before = textScale();
    setTextScale(scale);
    apply(before);
    // What a guest reads depends on it: the log says it for the screen where it changes.
    const CellMinimum cell = scaledCellMinimum(textScale().sizes);
    logMessage(tr("On a screen of %1 x %2 at %3 dpi the grid's cells are at least %4 x %5 pixels, their "
                  "text %6 pt.")
                   .arg(area.width())
                   .arg(area.height())
                   .arg(screen->logicalDotsPerInchY())
                   .arg(cell.width)
                   .arg(cell.height)
                   .arg(textScale().pointSize(16)));
    return true;
}

void TextScaling::apply(const TextScale& before)
{
    // A window that is not full screen keeps what it shows, the same columns and rows at the new size:
    // otherwise the window of a 4K screen would show a single column of the larger cells.
    const double growth = textScale().sizes / before.sizes;
    if (!qFuzzyCompare(growth, 1.0)) {
        // Taken first: a larger minimum grows the window on its own.
        const QSize grown = window->size() * growth;
        window->setMinimumSize(window->minimumSize() * growth);
        if (!(window->windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized)))
            window->resize(grown);
    }
    if (queueRow)
        rescaleQueueRow(queueRow, before);
    if (pauseButton) {
        const int width = textScale().pixels(92);
        pauseButton->setMinimumWidth(width);
        pauseButton->setMaximumWidth(width);
        applyPauseButtonStyle(pauseButton);
    }
}
