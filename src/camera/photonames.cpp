// SPDX-License-Identifier: GPL-3.0-or-later
#include "camera/photonames.h"

#include "base/plaintext.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

QString paddedNumber(int value, bool zeroFill)
{
    return QStringLiteral("%1").arg(value, 3, 10, zeroFill ? QLatin1Char('0') : QLatin1Char(' '));
}

void removeUnsafeFileNameCharacters(QString& name)
{
    static const QRegularExpression unsafe(QStringLiteral(R"([\\/:"*?<>|]+)"));
    name.remove(unsafe);
}

namespace {

// The longest file name the file systems take, in bytes of the local file name encoding.
constexpr int longestFileName = 255;

// Drops the last character of `text` (both halves of a surrogate pair).
void chopCharacter(QString& text)
{
    text.chop(text.size() >= 2 && text.at(text.size() - 1).isLowSurrogate() ? 2 : 1);
}

} // namespace

QString portraitFileName(const QDateTime& takenAt, int counter, const QString& artist, const QString& title,
                         bool random)
{
    const QString separator = QStringLiteral(" - ");
    // A zero character would end the path early and put the photo under a shorter name, and a line break
    // would split the name wherever it is listed; control characters become blanks, as in the records. A
    // name too long for the file system could not be written at all: long artists and titles lose their
    // ends instead.
    QString artistPart = oneLineText(artist);
    QString titlePart = oneLineText(title);
    for (;;) {
        QString name = QStringList{takenAt.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")),
                                   paddedNumber(counter, false), artistPart, titlePart}
                           .join(separator);
        if (random)
            name += separator + QStringLiteral("(random)");
        name += QStringLiteral(".jpg");
        removeUnsafeFileNameCharacters(name);
        if (QFile::encodeName(name).size() <= longestFileName ||
            (artistPart.isEmpty() && titlePart.isEmpty()))
            return name;
        chopCharacter(artistPart.size() > titlePart.size() ? artistPart : titlePart);
    }
}
