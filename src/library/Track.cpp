// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/Track.h"

#include "audio/AllBase.h"
#include "tags/genres.h"

#include <QCoreApplication>
#include <QStringList>

Track::Track(const QString& file, SyncProc endSyncProc, void* endSyncReceiver)
    : audio(new AllBase(file, endSyncProc, endSyncReceiver))
{
    takeTags(audio->readTags(), file);
}

Track::Track(const QString& file, TagInfo* knownTags, SyncProc endSyncProc, void* endSyncReceiver)
    : audio(new AllBase(file, endSyncProc, endSyncReceiver))
{
    takeTags(knownTags, file);
}

void Track::takeTags(TagInfo* read, const QString& filePath)
{
    tags = read;
    if (!tags)
        return;
    display = artist() + QLatin1Char('\n') + title();
    key = display.toLower();
    path = filePath;
    detailsText = detailsFromTags();
    genreNumbered = genreNumber(genre());
    valid = true;
}

Track::~Track()
{
    delete tags;
    delete audio;
}

QString Track::genreOneLine() const
{
    return QString(genre()).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString Track::lengthText() const
{
    const int whole = int(seconds());
    return QString::number(whole / 60) + QLatin1Char(':') +
           QStringLiteral("%1").arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString Track::detailsFromTags() const
{
    const auto line = [](const char* label, const QString& value) {
        return QCoreApplication::translate("MainWindow", label) + QStringLiteral(": ") + value;
    };
    QStringList lines;
    if (!genre().isEmpty())
        lines << line(QT_TRANSLATE_NOOP("MainWindow", "Genre"), genreOneLine());
    if (!year().isEmpty())
        lines << line(QT_TRANSLATE_NOOP("MainWindow", "Year"), year());
    if (!album().isEmpty())
        lines << line(QT_TRANSLATE_NOOP("MainWindow", "Album"), album());
    lines << line(QT_TRANSLATE_NOOP("MainWindow", "Track"), trackNumber());
    lines << line(QT_TRANSLATE_NOOP("MainWindow", "Length"), lengthText());
    return lines.join(QLatin1Char('\n'));
}
