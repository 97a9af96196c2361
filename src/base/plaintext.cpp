// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/plaintext.h"

#include <QTextDocument>

QString plainToolTip(const QString& text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

QString oneLineText(const QString& text)
{
    QString line = text;
    for (QChar& character : line)
        if (character.category() == QChar::Other_Control)
            character = QLatin1Char(' ');
    return line;
}
