// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace {
// A mistake on the command line, told apart from a start that failed (1).
constexpr int usageError = 2;

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}
} // namespace

CommandLine::CommandLine(const QStringList& arguments, const QString& workingFolder)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(tr("Vimo, the party jukebox: guests wish songs from a big grid."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(
        tr("paths"), tr("Folders and MP3 files to add. When Vimo runs already, its window adds them."),
        tr("[folders or songs...]"));
    if (!parser.parse(arguments)) {
        exitCode = usageError;
        answerText = QStringLiteral("vimo: ") + parser.errorText() + QLatin1Char('\n') + parser.helpText();
        return;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        exitCode = 0;
        answerText = parser.helpText();
        return;
    }
    if (parser.isSet(version)) {
        exitCode = 0;
        answerText = QCoreApplication::applicationName() + QLatin1Char('\n');
        return;
    }
    const QDir here(workingFolder);
    for (const QString& argument : parser.positionalArguments()) {
        const QString path = QDir::cleanPath(here.absoluteFilePath(argument));
        if (QFileInfo::exists(path))
            songPaths << path;
        else
            print(stderr, QStringLiteral("vimo: ") + tr("no such folder or file: %1").arg(argument) +
                              QLatin1Char('\n'));
    }
}

int CommandLine::answer() const
{
    print(exitCode == 0 ? stdout : stderr, answerText);
    return exitCode.value_or(0);
}
