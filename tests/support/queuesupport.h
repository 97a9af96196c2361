// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class QTableWidgetItem;
class Track;

namespace vimotest {

// A song or folder of the generated queue fixtures (tests/fixtures/make-queue-fixtures).
QString queueFixture(const QString& relativePath);

// Copies every song of a queue fixture folder into `target`, so a test may delete some; the copies'
// paths in name order, or an empty list when a copy failed.
QStringList copyQueueFolder(const QString& fixtureFolder, const QString& target);

// The text a file gained after its first `offset` bytes ("" when the file is missing).
QString textAfter(const QString& path, qint64 offset);

// The messages of the run's log lines written after its first `offset` bytes, without their time stamps.
QStringList logMessagesAfter(qint64 offset);

// The numbered song lines of a playlist text.
QStringList numberedPlaylistLines(const QString& text);

// The playlist's line of a song: its number right-aligned in three places, "* " for a random pick.
QString playlistLine(int number, bool random, const Track* track);

// The hue of a cell's background (-2 for no cell), which tells a waiting song's place in the queue.
int hueOf(const QTableWidgetItem* cell);

// The playlist's notice that every song has been played.
QString exhaustedNotice();

} // namespace vimotest
