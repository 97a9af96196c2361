// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

class QWidget;

// Walks the window's background hue between 19 and 221, one step every half second, so the border
// around the tables glows in slowly changing pastel colours.
class TimerBorderHue : public QObject
{
    Q_OBJECT

public:
    explicit TimerBorderHue(QWidget* target);
    ~TimerBorderHue() override;

    int currentHue() const { return hue; }
    bool isRising() const { return rising; }
    const QTimer& tick() const { return timer; }

public slots:
    void update();

private:
    QWidget* widget = nullptr;
    QTimer timer;
    int interval = 500;
    int hue = 20;
    bool rising = true;
};
