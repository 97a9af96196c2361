// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/TroubleMark.h"

#include <QEvent>

TroubleMark::TroubleMark(QWidget* window, QWidget* coveredArea) : QLabel(window), area(coveredArea)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setTextFormat(Qt::PlainText);
    setText(tr("Not saving"));
    setAccessibleName(tr("Not saving"));
    setStyleSheet(
        QStringLiteral("QLabel { font: bold 11pt \"Arial\"; color: #ffffff; background-color: #c0392b;"
                       " border: 2px solid #ffffff; border-radius: 6px; padding: 3px 8px; }"));
    hide();
    area->installEventFilter(this);
}

void TroubleMark::showTrouble(bool failing, const QString& what)
{
    setAccessibleDescription(what);
    setToolTip(what);
    if (!failing) {
        hide();
        return;
    }
    place();
    show();
    raise();
}

void TroubleMark::place()
{
    adjustSize();
    const QPoint corner = area->mapTo(parentWidget(), QPoint(area->width(), 0));
    const int margin = 8;
    move(corner.x() - margin - width(), corner.y() + margin);
}

bool TroubleMark::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == area && isVisible() && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        place();
    return QLabel::eventFilter(watched, event);
}
