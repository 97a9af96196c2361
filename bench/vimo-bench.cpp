// Headless measurements of the program's own code paths.
//
//   vimo-bench import FOLDER [--threads N] [--list]
//       Adds every MP3 below FOLDER as the "Add Songs" job does (folder scan, one file per pool task,
//       results handed to the library as they become ready, merge at the end) and prints
//       files=N accepted=A duplicates=D refused=R seconds=S files_per_s=F
//       With --list, one line per accepted song comes first: path, artist, title, genre, seconds.
#include "FileConstructor.h"
#include "Track.h"
#include "TrackLibrary.h"
#include "runlog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>

#include <cstdio>
#include <functional>

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usage()
{
    err() << "usage: vimo-bench import FOLDER [--threads N] [--list]\n";
    return 2;
}

int import(const QStringList& arguments)
{
    QString folder;
    bool list = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--list")) {
            list = true;
        } else if (argument == QLatin1String("--threads") && i + 1 < arguments.size()) {
            bool ok = false;
            const int threads = arguments.at(++i).toInt(&ok);
            if (!ok || threads < 1)
                return usage();
            QThreadPool::globalInstance()->setMaxThreadCount(threads);
        } else if (folder.isEmpty() && !argument.startsWith(QLatin1String("--"))) {
            folder = argument;
        } else {
            return usage();
        }
    }
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return usage();

    // The refusals go to a log of their own, not into the working folder.
    QTemporaryDir logFolder;
    logMessage(QStringLiteral("vimo-bench import ") + folder, logFolder.path());

    QElapsedTimer clock;
    clock.start();
    TrackLibrary library(nullptr, nullptr, nullptr);
    QFuture<Track*> job;
    int accepted = 0;
    int duplicates = 0;
    int refused = 0;
    if (library.startAddingFolder(QFileInfo(QFileInfo(folder).absoluteFilePath()), job)) {
        QFutureWatcher<Track*> watcher;
        QEventLoop loop;
        QObject::connect(&watcher, &QFutureWatcher<Track*>::resultReadyAt, &watcher, [&](int index) {
            Track* track = watcher.resultAt(index);
            if (!track)
                ++refused;
            else if (library.addPendingTrack(track))
                ++accepted;
            else
                ++duplicates;
        });
        QObject::connect(&watcher, &QFutureWatcher<Track*>::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(job);
        if (!watcher.isFinished())
            loop.exec();
        QCoreApplication::processEvents();
        library.mergePending();
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    const int files = accepted + duplicates + refused;

    if (list) {
        library.forEachTrack([](Track* track) {
            out() << track->filePath() << '\t' << track->artist() << '\t' << track->title() << '\t'
                  << track->genreOneLine() << '\t' << QString::number(track->seconds(), 'f', 3) << '\n';
        });
    }
    out() << "files=" << files << " accepted=" << accepted << " duplicates=" << duplicates
          << " refused=" << refused << " seconds=" << QString::number(seconds, 'f', 3)
          << " files_per_s=" << QString::number(seconds > 0 ? files / seconds : 0, 'f', 1) << '\n';
    out().flush();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const QHash<QString, std::function<int(const QStringList&)>> commands = {
        {QStringLiteral("import"), import}};
    const auto command = commands.find(arguments.value(0));
    if (command == commands.end())
        return usage();
    return command.value()(arguments.mid(1));
}
