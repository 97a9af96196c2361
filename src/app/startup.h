// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// Runs the program on an existing application object: the main window's start-up, the adding of `paths`
// (absolute folders and songs, as if dropped on the window), then the event loop. Returns 1 when the
// start-up failed (no sound), 0 at once when another start of the program runs (it is handed `paths` and
// its window comes to the front instead), otherwise the event loop's result.
int runMainWindow(const QStringList& paths = {});

// Gives Qt's global pool, on which songs are read while they are added, at least four threads: a folder on
// a disk that has to fetch its files then has more reads in flight than a two-core machine has cores
// (four made a cold add a fifth faster; eight held the window for up to 180 ms while adding).
void useReadingThreads();
