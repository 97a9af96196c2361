// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The folder of this run, below the pictures location: "Vimo output/yyyy-MM-dd hh-mm/".
// The first call creates it, opens the log inside it and logs the folder's creation.
QString runFolder();

// Creates run folder + name + "/" and logs the result; returns the path, or "" on failure or for "".
QString outputSubfolder(const QString& name);

// Appends one time-stamped line to the run's log. `directory` places the log file and counts only
// on the very first call of the process (empty: the working directory). Safe from any thread.
void logMessage(const QString& message, const QString& directory = QString());

// The log file's path once the first line placed it, otherwise "".
QString logFilePath();
