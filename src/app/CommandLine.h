// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <optional>

// What the program was started with: folders and songs to add, or a question that is answered on the
// terminal (help, version, a wrong option) without a window and without a word to a running party.
class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    // `arguments` as the program got them, its own name first; relative paths are taken from
    // `workingFolder`, the folder the start was made in, before they may travel to a running party.
    // Needs the application object (for the program's name and version).
    CommandLine(const QStringList& arguments, const QString& workingFolder);

    // Whether the start ends after answer() instead of opening the party.
    bool endsAtOnce() const { return exitCode.has_value(); }
    // Prints the help or the version on standard output, a mistake with the usage on standard error;
    // returns the program's exit code.
    int answer() const;
    // The folders and songs to add, absolute; a path that does not exist is left out with a warning.
    const QStringList& paths() const { return songPaths; }

private:
    std::optional<int> exitCode;
    QString answerText;
    QStringList songPaths;
};
