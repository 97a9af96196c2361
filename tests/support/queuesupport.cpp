// SPDX-License-Identifier: GPL-3.0-or-later
#include "queuesupport.h"

#include "base/runlog.h"
#include "library/Track.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTableWidgetItem>

namespace vimotest {

QString queueFixture(const QString& relativePath)
{
    return fixturesDirectory() + QStringLiteral("/queue/") + relativePath;
}

QStringList copyQueueFolder(const QString& fixtureFolder, const QString& target)
{
    const QDir from(queueFixture(fixtureFolder));
    QStringList copies;
    for (const QString& song : from.entryList({QStringLiteral("*.mp3")}, QDir::Files, QDir::Name)) {
        copies << target + QLatin1Char('/') + song;
        if (!QFile::copy(from.filePath(song), copies.last()))
            return QStringList();
    }
    return copies;
}

QString textAfter(const QString& path, qint64 offset)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll().mid(offset));
}

QStringList logMessagesAfter(qint64 offset)
{
    static const QRegularExpression stamp(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d-\d\d-\d\d\t::\t)"));
    QStringList messages;
    for (const QString& line : textAfter(logFilePath(), offset).split('\n', Qt::SkipEmptyParts))
        messages << QString(line).remove(stamp);
    return messages;
}

QStringList numberedPlaylistLines(const QString& text)
{
    static const QRegularExpression numbered(QStringLiteral(R"(^ *\d+: )"));
    return text.split('\n').filter(numbered);
}

QString playlistLine(int number, bool random, const Track* track)
{
    return QStringLiteral("%1: %2%3 - %4")
        .arg(number, 3)
        .arg(random ? QStringLiteral("* ") : QStringLiteral("  "), track->artist(), track->title());
}

int hueOf(const QTableWidgetItem* cell)
{
    return cell ? cell->background().color().hsvHue() : -2;
}

QString exhaustedNotice()
{
    return QStringLiteral(
        "\n < there were no more unplayed songs left - all songs can be selected again > \n\n");
}

} // namespace vimotest
