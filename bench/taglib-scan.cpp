// SPDX-License-Identifier: GPL-3.0-or-later
// The reader a user would reach for instead of Vimo's own: TagLib reads the title, artist, genre and
// length (at its default accuracy) of every MP3 below a folder, in parallel like Vimo's adding job.
//
//   taglib-scan FOLDER [--threads N] [--list] [--verify]
//       prints files=N read=R seconds=S files_per_s=F
//       With --list, one line per file comes first: path, artist, title, genre, seconds.
//       With --verify, the lengths are then compared with the decoding of every file (libmpg123; FFmpeg for
//       other formats), and the figures gain lengths_checked, lengths_beyond_0.05s, length_error_max_s,
//       length_error_mean_s.
#include "benchsupport.h"
#include "library/folderscan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QtConcurrent>

#include <fileref.h>
#include <tag.h>

using namespace vimobench;

namespace {

struct Reading
{
    QString path;
    bool read = false;
    QString artist;
    QString title;
    QString genre;
    double seconds = 0;
};

QString fromTagLib(const TagLib::String& text)
{
    return QString::fromStdString(text.to8Bit(true));
}

Reading readFile(const QString& path)
{
    Reading reading;
    reading.path = path;
    const TagLib::FileRef file(QFile::encodeName(path).constData(), true, TagLib::AudioProperties::Average);
    if (file.isNull() || !file.tag() || !file.audioProperties())
        return reading;
    reading.read = true;
    reading.artist = fromTagLib(file.tag()->artist());
    reading.title = fromTagLib(file.tag()->title());
    reading.genre = fromTagLib(file.tag()->genre());
    reading.seconds = file.audioProperties()->lengthInMilliseconds() / 1000.0;
    return reading;
}

int usage()
{
    err() << "usage: taglib-scan FOLDER [--threads N] [--list] [--verify]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const Options options(QCoreApplication::arguments().mid(1), {QStringLiteral("--threads")},
                          {QStringLiteral("--list"), QStringLiteral("--verify")});
    if (!options.isValid() || options.positional().size() != 1 || !applyThreadOption(options))
        return usage();
    const QFileInfo folder(QFileInfo(options.positional().first()).absoluteFilePath());
    if (!folder.isDir())
        return usage();

    const double cpuBefore = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QStringList paths;
    scanFolder(folder, paths);
    const QList<Reading> readings = QtConcurrent::blockingMapped(paths, readFile);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double cpuSeconds = processCpuSeconds() - cpuBefore;

    QList<QPair<QString, double>> lengths;
    for (const Reading& reading : readings) {
        if (!reading.read)
            continue;
        lengths << qMakePair(reading.path, reading.seconds);
        if (options.has(QStringLiteral("--list")))
            out() << reading.path << '\t' << reading.artist << '\t' << reading.title << '\t' << reading.genre
                  << '\t' << QString::number(reading.seconds, 'f', 3) << '\n';
    }
    Figures figures;
    figures.add(QStringLiteral("files"), qint64(readings.size()));
    figures.add(QStringLiteral("read"), qint64(lengths.size()));
    figures.add(QStringLiteral("seconds"), seconds, 3);
    figures.add(QStringLiteral("cpu_seconds"), cpuSeconds, 3);
    figures.add(QStringLiteral("files_per_s"), seconds > 0 ? readings.size() / seconds : 0, 1);
    if (options.has(QStringLiteral("--verify")))
        checkLengths(lengths).addTo(figures);
    figures.print();
    return 0;
}
