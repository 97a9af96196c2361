// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TimerBorderHue.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

TimerBorderHue::TimerBorderHue(QWidget* target) : widget(target), timer(target)
{
    connect(&timer, &QTimer::timeout, this, &TimerBorderHue::update);
    timer.start(interval);
}

TimerBorderHue::~TimerBorderHue()
{
    timer.stop();
}

void TimerBorderHue::update()
{
    if (rising) {
        if (++hue > 220)
            rising = false;
    } else {
        if (--hue < 20)
            rising = true;
    }
    // A fresh palette on every step: the other roles return to their defaults, as they always have.
    QPalette palette;
    palette.setColor(QPalette::Window, QColor::fromHsv(hue, 125, 255, 255));
    if (widget)
        widget->setPalette(palette);
}
