// SPDX-License-Identifier: GPL-3.0-or-later
#include "party/PlaylistFile.h"

#include "base/plainfile.h"
#include "base/plaintext.h"
#include "base/recordtrouble.h"
#include "base/runlog.h"
#include "camera/photonames.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <utility>

namespace {
bool openForAppending(QFile& file, const QString& path)
{
    if (file.isOpen() && stillAt(file, path))
        return true;
    file.close();
    QString error;
    if (openPlainFileForAppending(file, path, &error))
        return true;
    noteRecordWritten(RunRecord::Playlist, false, error);
    logMessage(QCoreApplication::translate("PlayQueue", "The playlist \"%1\" is not written: %2.")
                   .arg(QDir::toNativeSeparators(path), error));
    return false;
}
} // namespace

QString PlaylistFile::pathForRun()
{
    return runFolder() + QStringLiteral("Vimo Playlist ") +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy_MM_dd--hh_mm")) +
           QStringLiteral(".txt");
}

PlaylistFile::PlaylistFile(QString path) : name(std::move(path)), file(std::make_unique<QFile>()) {}

PlaylistFile::~PlaylistFile() = default;

void PlaylistFile::writeHeader()
{
    file->close();
    header = QStringLiteral("The playback started at ") +
             QDateTime::currentDateTime().toString(Qt::TextDate) +
             QStringLiteral("\nSongs that were selected randomly are marked with *\n\n");
    write(header);
}

void PlaylistFile::writeLine(const QString& marker, const QString& artist, const QString& title)
{
    ++lineCounter;
    write(paddedNumber(lineCounter, false) + QStringLiteral(": ") + marker + oneLineText(artist) +
          QStringLiteral(" - ") + oneLineText(title) + QLatin1Char('\n'));
}

void PlaylistFile::writeNotice(const QString& text)
{
    write(QStringLiteral("\n < ") + text + QStringLiteral(" > \n\n"));
}

void PlaylistFile::write(const QString& text)
{
    if (!openForAppending(*file, name))
        return;
    QTextStream stream(file.get());
    stream.setCodec("UTF-8");
    // Empty after the header was written: the file it went into is gone, and a fresh one took its name.
    if (file->size() == 0 && text != header)
        stream << header;
    stream << text;
    stream.flush();
    const bool written = file->flush();
    noteRecordWritten(RunRecord::Playlist, written, file->errorString());
}
