// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFuture>
#include <QList>

class FileConstructor;
class Track;

// An adding job over `files` on the global thread pool: one track or null per file, in the files' order.
// Files the song cache knows as they are (FileConstructor::isKnown()) become songs in one pass on a single
// task, handed over in runs; only the others are read, a file at a time, by the pool's threads. A job whose
// files are all unknown is the plain mapping of FileConstructor::createTrack(). Null results aside, the
// files' `madeTracks` learns every song made, so that a cancelled job's songs can still be freed.
QFuture<Track*> startAddingJob(const QList<FileConstructor>& files);
