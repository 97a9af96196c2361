// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/NoticeBanner.h"

#include "desktop/NoticeBoard.h"

#include <QEvent>

NoticeBanner::NoticeBanner(QWidget* window, QWidget* coveredArea, const NoticeBoard* board)
    : QLabel(window), area(coveredArea)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Song tags end up in notices: they are never markup.
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignCenter);
    setStyleSheet(QStringLiteral("QLabel { font: 16pt \"Arial\"; color: #000000; background-color: #ffd84a;"
                                 " border: 2px solid #ffffff; border-radius: 8px; padding: 10px 18px; }"));
    setAccessibleName(tr("Notice"));
    hide();
    area->installEventFilter(this);
    connect(board, &NoticeBoard::changed, this, &NoticeBanner::showNotice);
}

void NoticeBanner::showNotice(const QString& text)
{
    if (text.isEmpty()) {
        hide();
        return;
    }
    setText(text);
    setAccessibleDescription(text);
    place();
    show();
    raise();
}

void NoticeBanner::place()
{
    const QRect covered(area->mapTo(parentWidget(), QPoint(0, 0)), area->size());
    const int margin = 12;
    const int width = qMin(covered.width() - 2 * margin, qMax(sizeHint().width(), covered.width() / 2));
    const int height = qMin(heightForWidth(width), covered.height() - 2 * margin);
    setGeometry(covered.left() + (covered.width() - width) / 2, covered.bottom() - margin - height + 1, width,
                height);
}

bool NoticeBanner::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == area && isVisible() && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        place();
    return QLabel::eventFilter(watched, event);
}
