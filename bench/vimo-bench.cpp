// SPDX-License-Identifier: GPL-3.0-or-later
// Measurements of the program's own code paths. Every subcommand prints its figures as name=value pairs
// on its last line.
//
//   vimo-bench import FOLDER [--threads N] [--list] [--verify] [--no-cache]
//       Adds every MP3 below FOLDER as the "Add Songs" job does (folder scan, the song cache of the user's
//       cache folder as XDG_CACHE_HOME says, one file per pool task, results handed to the library as they
//       become ready, merge at the end) without a window; --no-cache reads every file without the cache:
//       files=N accepted=A duplicates=D refused=R seconds=S files_per_s=F
//       With --list, one line per accepted song comes first: path, artist, title, genre, seconds.
//       With --verify, the lengths are then compared with a full decode of every accepted file (libmpg123 for
//       MP3, FFmpeg for the other formats), with the largest error per format.
//
//   vimo-bench gui-import FOLDER [--size WxH]
//       The real main window (offscreen unless another platform is chosen) adds FOLDER through addFolder:
//       the seconds until the job has ended, the longest stall of the GUI thread (the lateness of a
//       10 ms repeating timer), and the resident memory of the empty window and afterwards.
//
//   vimo-bench grid FOLDER [--refreshes K] [--size WxH] [--text-scale F] [--dump FILE]
//       After adding FOLDER, K refreshes of the library grid: the time of the refresh itself, and of the
//       refresh with the painting it causes; then K switches between all songs and the most frequent
//       genre, refreshes that change most cells (switch_ms). --dump writes what the grid shows after wishes,
//       genre choices and a new window size, cell by cell, to compare two builds. --text-scale F (every
//       command with a window takes it) sets [UI] Text scale to F: with --size 3840x2160 and 2, the grid of a
//       4K television, whose scale Qt's small offscreen screen would not ask for.
//
//   vimo-bench party FOLDER --songs N [--wish-every K] [--size WxH] [--no-stalls]
//       After adding FOLDER, the window plays N songs back to back into SDL's disk driver: five wishes
//       at the start, one more after every K-th song, the pre-drawn random songs in between. From the
//       captured audio: the silence at each of the N-1 changes (median and longest), the dropouts
//       inside songs, the quietest and loudest song as played (LUFS; the first song apart, which starts
//       before it can be measured) and the samples at full scale; besides,
//       the CPU time per second of music, the end notifications handled, the numbered lines of the playlist,
//       the longest stall of the GUI thread and the growth of the resident memory. --no-stalls leaves the
//       stall watch out, whose timer would add its own CPU time.
//
//   vimo-bench phones FOLDER [--phones N] [--wishes-per-s W] [--seconds S] [--size WxH] [--hostile]
//       After adding FOLDER, phone wishes are switched on and N simulated phones on 127.0.0.1 (each from a
//       loopback address of its own) follow the queue's event stream and search every five seconds, while
//       together they wish random songs W times a second, for S seconds: the 99th percentile of the
//       search answers, of the time until an accepted wish showed on every phone, the longest stall of the
//       GUI thread, the accepted wishes neither played (in the playlist) nor waiting in the queue, and the
//       longest silence at a change of song (into SDL's disk driver). --hostile adds hostile guests from
//       loopback addresses of their own meanwhile (a wisher with a fresh token for every wish, four
//       trickling uploads from one phone, made-up tickets with a slow JPEG, 21 addresses holding every
//       connection they may) and a selfie from each honest phone whose wish was taken: the 99th
//       percentile of the time until it was taken, and what the hostile guests got.
#include "app/startup.h"
#include "audio/AudioEngine.h"
#include "base/runlog.h"
#include "base/settings.h"
#include "benchsupport.h"
#include "desktop/textscale.h"
#include "hostileload.h"
#include "library/SongCache.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/PlayQueue.h"
#include "phoneload.h"
#include "phones/PhoneDesk.h"
#include "ui/mainwindowimpl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMutex>
#include <QRegularExpression>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <ebur128.h>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

using namespace vimobench;

namespace {

int usage()
{
    err() << "usage: vimo-bench import FOLDER [--threads N] [--list] [--verify] [--no-cache]\n"
             "       vimo-bench gui-import FOLDER [--size WxH]\n"
             "       vimo-bench grid FOLDER [--refreshes K] [--size WxH] [--text-scale F] [--dump FILE]\n"
             "       vimo-bench party FOLDER --songs N [--wish-every K] [--size WxH]\n"
             "       vimo-bench phones FOLDER [--phones N] [--wishes-per-s W] [--seconds S] [--size WxH] "
             "[--hostile]\n";
    return 2;
}

// The folder named by the only positional argument, absolute; empty when there is none such.
QString folderArgument(const Options& options)
{
    if (!options.isValid() || options.positional().size() != 1)
        return QString();
    const QFileInfo folder(options.positional().first());
    return folder.isDir() ? folder.absoluteFilePath() : QString();
}

int import(const QStringList& arguments)
{
    const Options options(
        arguments, {QStringLiteral("--threads")},
        {QStringLiteral("--list"), QStringLiteral("--verify"), QStringLiteral("--no-cache")});
    const QString folder = folderArgument(options);
    if (folder.isEmpty() || !applyThreadOption(options))
        return usage();

    // The refusals go to a log of their own, not into the working folder.
    QTemporaryDir logFolder;
    logMessage(QStringLiteral("vimo-bench import ") + folder, logFolder.path() + QLatin1Char('/'));

    const double cpuBefore = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    TrackLibrary library(nullptr, nullptr);
    library.useSongCache(!options.has(QStringLiteral("--no-cache")));
    QFuture<Track*> job;
    int accepted = 0;
    int duplicates = 0;
    int refused = 0;
    if (library.startAddingFolder(QFileInfo(folder), job)) {
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
    const double cpuSeconds = processCpuSeconds() - cpuBefore;
    const int files = accepted + duplicates + refused;
    // The cache is written in the background, as in the program; the next run must find it complete.
    SongCache::waitForWrites();

    QList<QPair<QString, double>> lengths;
    library.forEachTrack([&](Track* track) {
        lengths << qMakePair(track->filePath(), track->seconds());
        if (options.has(QStringLiteral("--list")))
            out() << track->filePath() << '\t' << track->artist() << '\t' << track->title() << '\t'
                  << track->genreOneLine() << '\t' << QString::number(track->seconds(), 'f', 3) << '\n';
    });
    Figures figures;
    figures.add(QStringLiteral("files"), qint64(files));
    figures.add(QStringLiteral("accepted"), qint64(accepted));
    figures.add(QStringLiteral("duplicates"), qint64(duplicates));
    figures.add(QStringLiteral("refused"), qint64(refused));
    figures.add(QStringLiteral("seconds"), seconds, 3);
    figures.add(QStringLiteral("cpu_seconds"), cpuSeconds, 3);
    figures.add(QStringLiteral("files_per_s"), seconds > 0 ? files / seconds : 0, 1);
    if (options.has(QStringLiteral("--verify")))
        checkLengths(lengths).addTo(figures);
    figures.print();
    return 0;
}

// ---- The real window ----

// Calls `tick` every 10 ms on the GUI thread and keeps the longest lateness of those calls: the time
// the GUI thread was kept from its event loop.
class StallWatch
{
public:
    explicit StallWatch(std::function<void()> tick = nullptr) : tick(std::move(tick))
    {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this]() {
            const qint64 now = clock.nsecsElapsed();
            longest = qMax(longest, now - last - periodNanoseconds);
            if (now - last - periodNanoseconds > 30000000 && qEnvironmentVariableIsSet("VIMO_BENCH_STALLS"))
                err() << "stall " << (now - last - periodNanoseconds) / 1000000 << " ms ending at "
                      << now / 1000000 << " ms\n";
            last = now;
            if (this->tick)
                this->tick();
        });
        clock.start();
        timer.start(int(periodNanoseconds / 1000000));
    }

    double longestStallMilliseconds() const { return qMax<qint64>(0, longest) / 1e6; }

private:
    static constexpr qint64 periodNanoseconds = 10 * 1000 * 1000;
    std::function<void()> tick;
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
};

int pendingCount(const TrackLibrary& library)
{
    int count = 0;
    library.forEachPendingTrack([&count](Track*) { ++count; });
    return count;
}

// Lets the window handle whatever is waiting, painting included.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

// The program's main window at the size of "--size WxH" (default 1920x1080), started with the webcam
// question answered "No".
class BenchWindow
{
public:
    bool open(const Options& options)
    {
        QSize size(1920, 1080);
        if (options.has(QStringLiteral("--size"))) {
            const QStringList parts = options.value(QStringLiteral("--size")).split(QLatin1Char('x'));
            size = QSize(parts.value(0).toInt(), parts.value(1).toInt());
            if (size.width() < 400 || size.height() < 300)
                return false;
        }
        // Qt's offscreen screen is smaller than full HD: a large screen's scale is the host's setting here.
        if (options.has(QStringLiteral("--text-scale"))) {
            const QString scale = options.value(QStringLiteral("--text-scale"));
            if (readTextScaleSetting(scale).trouble != TextScaleSetting::Trouble::none) {
                err() << "--text-scale takes 0 or a number from " << smallestTextScale << " to "
                      << largestTextScale << '\n';
                return false;
            }
            settingsStore()->setValue(QStringLiteral("UI/Text scale"), scale);
        }
        answerQuestions(QStringLiteral("No"));
        window = std::make_unique<MainWindow>();
        stopAnsweringQuestions();
        if (window->initializationFailed()) {
            err() << "the main window did not start (no sound device?)\n";
            return false;
        }
        window->resize(size);
        settle();
        return true;
    }

    MainWindow& main() const { return *window; }
    QTableWidget* table() const
    {
        return window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForLibrary"));
    }

    // Nothing is being added and nothing waits to be merged.
    bool jobEnded() const
    {
        const TrackLibrary* library = window->trackLibrary();
        return !window->isAdding() && library && pendingCount(*library) == 0;
    }

    // Adds the folder as the folder dialog does and runs the event loop until the job has ended.
    // Returns the seconds that took.
    double addFolder(const QString& folder)
    {
        QEventLoop loop;
        QElapsedTimer clock;
        double seconds = -1;
        StallWatch stalls([&]() {
            if (seconds < 0 && jobEnded()) {
                seconds = clock.nsecsElapsed() / 1e9;
                loop.quit();
            }
        });
        clock.start();
        window->addFolder(QDir(folder));
        if (jobEnded())
            seconds = clock.nsecsElapsed() / 1e9;
        else
            loop.exec();
        longestStall = stalls.longestStallMilliseconds();
        settle();
        return seconds;
    }

    double longestStallMilliseconds() const { return longestStall; }
    int songCount() const { return window->trackLibrary() ? window->trackLibrary()->trackCount() : 0; }

    void close() { window.reset(); }

private:
    std::unique_ptr<MainWindow> window;
    double longestStall = 0;
};

const QStringList windowOptions = {QStringLiteral("--size"), QStringLiteral("--text-scale")};

int guiImport(const QStringList& arguments)
{
    const Options options(arguments, windowOptions, {});
    const QString folder = folderArgument(options);
    BenchWindow window;
    if (folder.isEmpty())
        return usage();
    if (!window.open(options))
        return 1;
    const qint64 emptyBytes = residentBytes();
    const double seconds = window.addFolder(folder);
    const qint64 filledBytes = residentBytes();
    const int songs = window.songCount();

    Figures figures;
    figures.add(QStringLiteral("songs"), qint64(songs));
    figures.add(QStringLiteral("seconds"), seconds, 3);
    figures.add(QStringLiteral("longest_stall_ms"), window.longestStallMilliseconds(), 1);
    figures.add(QStringLiteral("rss_empty_kb"), emptyBytes / 1024);
    figures.add(QStringLiteral("rss_kb"), filledBytes / 1024);
    figures.add(QStringLiteral("bytes_per_song"), songs > 0 ? double(filledBytes - emptyBytes) / songs : 0.0,
                0);
    figures.print();
    return 0;
}

// Wishes the first free song that has a cell in the grid; false when there is none.
bool wishFreeSong(BenchWindow& window)
{
    QTableWidget* table = window.table();
    for (int row = 0; row < table->rowCount(); ++row) {
        for (int column = 0; column < table->columnCount(); ++column) {
            QTableWidgetItem* cell = table->item(row, column);
            const Track* track =
                cell ? window.main().trackLibrary()->findBySearchKey(cell->text().toLower()) : nullptr;
            if (track && track->state() == SongState::Free) {
                emit table->itemActivated(cell);
                return true;
            }
        }
    }
    return false;
}

// Everything a refresh decides about the grid, as text: sizes, scroll bars, the current and selected
// cells, and every cell's roles and flags. Two builds that write the same text show the same grid.
QString describeGrid(QTableWidget* table)
{
    QString text;
    QTextStream stream(&text);
    stream << "rows " << table->rowCount() << " columns " << table->columnCount() << " policies "
           << table->horizontalScrollBarPolicy() << ' ' << table->verticalScrollBarPolicy() << '\n';
    for (int row = 0; row < table->rowCount(); ++row)
        stream << table->rowHeight(row) << ' ';
    stream << '\n';
    for (int column = 0; column < table->columnCount(); ++column)
        stream << table->columnWidth(column) << ' ';
    stream << "\ncurrent " << table->currentRow() << ',' << table->currentColumn() << " selected";
    for (const QModelIndex& index : table->selectionModel()->selectedIndexes())
        stream << ' ' << index.row() << ',' << index.column();
    stream << '\n';
    const auto brush = [](const QVariant& value) {
        if (!value.isValid())
            return QStringLiteral("-");
        const QBrush brush = value.value<QBrush>();
        return QString::number(brush.style()) + QLatin1Char(':') + brush.color().name(QColor::HexArgb);
    };
    for (int row = 0; row < table->rowCount(); ++row) {
        for (int column = 0; column < table->columnCount(); ++column) {
            const QTableWidgetItem* cell = table->item(row, column);
            stream << row << ',' << column;
            if (cell) {
                stream << " flags " << int(cell->flags()) << " text "
                       << cell->data(Qt::DisplayRole).toString().replace('\n', '|') << " tip "
                       << cell->data(Qt::ToolTipRole).toString().replace('\n', '|') << " bg "
                       << brush(cell->data(Qt::BackgroundRole)) << " fg "
                       << brush(cell->data(Qt::ForegroundRole)) << " align "
                       << cell->data(Qt::TextAlignmentRole).toInt() << " font "
                       << cell->data(Qt::FontRole).value<QFont>().toString() << " says "
                       << cell->data(Qt::AccessibleDescriptionRole).toString();
            }
            stream << '\n';
        }
    }
    return text;
}

// Refreshes the grid the ways a party does (wishes, genre buttons, a new window size) and writes what
// each refresh showed to `path`.
bool dumpGridScenario(BenchWindow& window, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    QTextStream stream(&file);
    const auto step = [&](const char* name) {
        settle();
        stream << "== " << name << '\n' << describeGrid(window.table());
    };
    step("added");
    for (int wish = 0; wish < 3; ++wish)
        wishFreeSong(window);
    window.main().refreshLibraryTable(QString(), true);
    step("three wishes");
    const std::vector<QAbstractButton*> buttons = window.main().genreFilterButtons();
    if (buttons.size() > 2) {
        buttons.at(2)->click();
        step("second genre");
        window.main().genreFilterButtons().back()->click();
        step("the rest");
        window.main().genreFilterButtons().front()->click();
        step("all genres");
    }
    window.main().resize(1000, 700);
    step("smaller window");
    return true;
}

int grid(const QStringList& arguments)
{
    const Options options(
        arguments, windowOptions + QStringList{QStringLiteral("--refreshes"), QStringLiteral("--dump")}, {});
    const QString folder = folderArgument(options);
    bool ok = true;
    const int refreshes = options.number(QStringLiteral("--refreshes"), 20, 1, ok);
    BenchWindow window;
    if (folder.isEmpty() || !ok)
        return usage();
    // Songs arrive in the order of their files on one thread, so that two builds show the same grid.
    if (options.has(QStringLiteral("--dump")))
        QThreadPool::globalInstance()->setMaxThreadCount(1);
    if (!window.open(options))
        return 1;
    window.addFolder(folder);

    QVector<double> alone;
    QVector<double> painted;
    QElapsedTimer clock;
    for (int i = 0; i < refreshes; ++i) {
        clock.start();
        window.main().refreshLibraryTable(QString(), true);
        alone << clock.nsecsElapsed() / 1e6;
        QApplication::processEvents();
        painted << clock.nsecsElapsed() / 1e6;
    }
    // Refreshes that change most cells: the grid switches between all songs and the most frequent genre.
    QVector<double> switched;
    for (int i = 0; i < refreshes && window.main().genreFilterButtons().size() > 1; ++i) {
        QAbstractButton* button = window.main().genreFilterButtons().at(i % 2 == 0 ? 1 : 0);
        clock.start();
        button->click();
        switched << clock.nsecsElapsed() / 1e6;
        QApplication::processEvents();
    }
    // A library without genres has no genre buttons at all.
    const std::vector<QAbstractButton*> buttons = window.main().genreFilterButtons();
    if (!buttons.empty())
        buttons.front()->click();
    QApplication::processEvents();

    Figures figures;
    figures.add(QStringLiteral("songs"), qint64(window.songCount()));
    figures.add(QStringLiteral("cells"), qint64(window.table()->rowCount() * window.table()->columnCount()));
    figures.add(QStringLiteral("refreshes"), qint64(refreshes));
    figures.add(QStringLiteral("refresh_ms"), median(alone), 1);
    figures.add(QStringLiteral("refresh_ms_max"), *std::max_element(alone.begin(), alone.end()), 1);
    figures.add(QStringLiteral("refresh_paint_ms"), median(painted), 1);
    figures.add(QStringLiteral("switch_ms"), median(switched), 1);
    figures.add(QStringLiteral("switch_ms_max"),
                switched.isEmpty() ? 0.0 : *std::max_element(switched.begin(), switched.end()), 1);
    if (options.has(QStringLiteral("--dump")) &&
        !dumpGridScenario(window, options.value(QStringLiteral("--dump"))))
        return 1;
    figures.print();
    return 0;
}

// ---- A party into the disk driver ----

double framesToMilliseconds(qint64 frames)
{
    return frames * 1000.0 / AudioEngine::sampleRate;
}

// The captured audio: interleaved signed 16-bit frames in the engine's format.
class Capture
{
public:
    bool load(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        bytes = file.readAll();
        return true;
    }

    qint64 frames() const { return bytes.size() / qint64(sizeof(qint16) * AudioEngine::channels); }
    bool silent(qint64 frame) const
    {
        const auto* samples =
            reinterpret_cast<const qint16*>(bytes.constData()) + frame * AudioEngine::channels;
        return std::all_of(samples, samples + AudioEngine::channels,
                           [](qint16 sample) { return sample == 0; });
    }
    // The first sounding frame at or after `from`, or frames() when none follows.
    qint64 nextSound(qint64 from) const
    {
        while (from < frames() && silent(from))
            ++from;
        return from;
    }
    // The last sounding frame before `before`, or -1.
    qint64 previousSound(qint64 before) const
    {
        qint64 frame = qMin(before, frames()) - 1;
        while (frame >= 0 && silent(frame))
            --frame;
        return frame;
    }

    // SDL writes silence while the device is still paused, before the engine's first frame.
    qint64 leadingFrames() const { return frames() - qint64(AudioEngine::instance().deviceFrames()); }
    // The silence at each of the first `changes` song ends (device frames): from the ended song's last
    // sound to the next song's first. `starts` receives where each silence begins.
    QVector<double> changeSilences(const QVector<qint64>& endFrames, int changes,
                                   QVector<qint64>* starts) const
    {
        const qint64 leading = leadingFrames();
        QVector<double> gaps;
        for (int i = 0; i + 1 < endFrames.size() && i < changes; ++i) {
            const qint64 end = leading + endFrames.at(i);
            const qint64 lastSound = previousSound(end);
            gaps << framesToMilliseconds(nextSound(end) - lastSound - 1);
            if (qEnvironmentVariableIsSet("VIMO_BENCH_DETAILS"))
                err() << "change " << i + 1 << ": " << gaps.last() << " ms of silence from "
                      << framesToMilliseconds(lastSound + 1 - leading) << " ms\n";
            if (starts)
                *starts << lastSound + 1;
        }
        return gaps;
    }
    // Integrated loudness (LUFS) of the frames from `first` up to `end`; NaN when too short to measure.
    double loudness(qint64 first, qint64 end) const
    {
        const std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> meter(
            ebur128_init(AudioEngine::channels, AudioEngine::sampleRate, EBUR128_MODE_I),
            [](ebur128_state* state) { ebur128_destroy(&state); });
        first = qBound<qint64>(0, first, frames());
        end = qBound<qint64>(first, end, frames());
        double integrated = std::numeric_limits<double>::quiet_NaN();
        if (meter && end > first) {
            ebur128_add_frames_short(meter.get(), sample(first), size_t(end - first));
            ebur128_loudness_global(meter.get(), &integrated);
        }
        return std::isfinite(integrated) ? integrated : std::numeric_limits<double>::quiet_NaN();
    }
    // Samples at full scale: what clipping leaves.
    qint64 clippedSamples() const
    {
        const qint16* first = sample(0);
        return std::count_if(first, first + frames() * AudioEngine::channels,
                             [](qint16 value) { return value == 32767 || value == -32768; });
    }

private:
    const qint16* sample(qint64 frame) const
    {
        return reinterpret_cast<const qint16*>(bytes.constData()) + frame * AudioEngine::channels;
    }

    QByteArray bytes;
};

struct PartyRun
{
    QVector<qint64> endFrames; // where the device stood when each song had ended
    int handled = 0;
    int playlistLines = 0; // numbered lines, one a started song
    double longestStall = 0;
    double seconds = 0;
    double cpuSeconds = 0;
    qint64 residentGrowth = 0;
    QMap<QString, double> threadCpu; // CPU seconds by thread name
};

// Where the sound device stood when each song had ended: taken on the audio thread, before the next song
// can start.
class SongEnds
{
public:
    explicit SongEnds(MainWindow& window)
        : connection(QObject::connect(
              &window, &MainWindow::notifyFromBaseThread, &window,
              [this]() {
                  QMutexLocker lock(&mutex);
                  taken << qint64(AudioEngine::instance().deviceFrames());
              },
              Qt::DirectConnection))
    {}
    ~SongEnds() { QObject::disconnect(connection); }
    SongEnds(const SongEnds&) = delete;
    SongEnds& operator=(const SongEnds&) = delete;

    QVector<qint64> frames() const
    {
        QMutexLocker lock(&mutex);
        return taken;
    }

private:
    mutable QMutex mutex;
    QVector<qint64> taken;
    QMetaObject::Connection connection;
};

// Plays `songs` songs and returns what happened; the window is closed afterwards.
PartyRun playParty(BenchWindow& window, int songs, int wishEvery, bool watchStalls)
{
    PartyRun run;
    const SongEnds ends(window.main());
    QEventLoop loop;
    QObject::connect(
        &window.main(), &MainWindow::notifyFromBaseThread, &loop,
        [&]() {
            ++run.handled;
            if (run.handled >= songs)
                loop.quit();
            else if (run.handled % wishEvery == 0)
                wishFreeSong(window);
        },
        Qt::QueuedConnection);

    const qint64 bytesBefore = residentBytes();
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < window.main().queue()->queueCapacity(); ++i)
        wishFreeSong(window);
    const QMap<QString, double> threadsBefore = threadCpuSeconds();
    {
        // The watch wakes the GUI thread a hundred times a second, which costs about a percent of a core
        // itself: the CPU figure of the program alone is taken without it.
        std::optional<StallWatch> stalls;
        if (watchStalls)
            stalls.emplace();
        loop.exec();
        run.longestStall = stalls ? stalls->longestStallMilliseconds() : -1;
    }
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.cpuSeconds = processCpuSeconds() - cpuBefore;
    run.residentGrowth = residentBytes() - bytesBefore;
    const QMap<QString, double> threadsAfter = threadCpuSeconds();
    for (auto thread = threadsAfter.cbegin(); thread != threadsAfter.cend(); ++thread)
        run.threadCpu[thread.key()] = thread.value() - threadsBefore.value(thread.key());
    const QString playlist = window.main().queue()->playlistPath();
    window.close();
    run.endFrames = ends.frames();
    QFile file(playlist);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QRegularExpression numbered(QStringLiteral(R"(^ *\d+: )"));
        while (!file.atEnd())
            if (numbered.match(QString::fromUtf8(file.readLine())).hasMatch())
                ++run.playlistLines;
    }
    return run;
}

int party(const QStringList& arguments, const QString& capturePath)
{
    const Options options(
        arguments, windowOptions + QStringList{QStringLiteral("--songs"), QStringLiteral("--wish-every")},
        {QStringLiteral("--no-stalls")});
    const QString folder = folderArgument(options);
    bool ok = options.has(QStringLiteral("--songs"));
    const int songs = options.number(QStringLiteral("--songs"), 0, 2, ok);
    const int wishEvery = options.number(QStringLiteral("--wish-every"), 3, 1, ok);
    BenchWindow window;
    if (folder.isEmpty() || !ok)
        return usage();
    if (!window.open(options))
        return 1;
    window.addFolder(folder);
    if (window.songCount() < 2) {
        err() << "the folder holds fewer than two songs\n";
        return 1;
    }
    const PartyRun run = playParty(window, songs, wishEvery, !options.has(QStringLiteral("--no-stalls")));

    Capture capture;
    if (!capture.load(capturePath)) {
        err() << "no audio was captured in " << capturePath << '\n';
        return 1;
    }
    const qint64 leading = capture.leadingFrames();
    QVector<qint64> gapStarts;
    const QVector<double> gaps = capture.changeSilences(run.endFrames, songs - 1, &gapStarts);
    // Silence inside the songs: runs of at least a millisecond that are not one of the changes.
    int dropouts = 0;
    const qint64 last = capture.previousSound(capture.frames());
    for (qint64 frame = capture.nextSound(0); frame < last;) {
        while (frame < last && !capture.silent(frame))
            ++frame;
        const qint64 sound = capture.nextSound(frame);
        if ((sound - frame) * 1000 >= AudioEngine::sampleRate && !gapStarts.contains(frame)) {
            ++dropouts;
            err() << "dropout of " << framesToMilliseconds(sound - frame) << " ms at "
                  << framesToMilliseconds(frame - leading) << " ms\n";
        }
        frame = sound;
    }

    // Each song's loudness as it was played, from its first sound to its end. The first one starts at once,
    // before it can have been measured: it stands apart.
    QVector<double> loudness;
    double firstLoudness = 0;
    for (int i = 0; i < run.endFrames.size() && i < songs; ++i) {
        const qint64 start = i == 0 ? capture.nextSound(0) : leading + run.endFrames.at(i - 1);
        const double lufs = capture.loudness(start, leading + run.endFrames.at(i));
        if (i == 0)
            firstLoudness = lufs;
        else if (!std::isnan(lufs))
            loudness << lufs;
        if (qEnvironmentVariableIsSet("VIMO_BENCH_DETAILS"))
            err() << "song " << i + 1 << ": " << lufs << " LUFS\n";
    }
    err() << "CPU time per second of music by thread:";
    for (auto thread = run.threadCpu.cbegin(); thread != run.threadCpu.cend(); ++thread)
        err() << " \"" << thread.key() << "\" " << QString::number(100 * thread.value() / run.seconds, 'f', 2)
              << " %";
    err() << '\n';
    err().flush();
    Figures figures;
    figures.add(QStringLiteral("songs"), qint64(songs));
    figures.add(QStringLiteral("changes"), qint64(gaps.size()));
    figures.add(QStringLiteral("gap_median_ms"), median(gaps), 1);
    figures.add(QStringLiteral("gap_max_ms"),
                gaps.isEmpty() ? 0.0 : *std::max_element(gaps.begin(), gaps.end()), 1);
    figures.add(QStringLiteral("dropouts"), qint64(dropouts));
    figures.add(QStringLiteral("lufs_min"),
                loudness.isEmpty() ? 0.0 : *std::min_element(loudness.begin(), loudness.end()), 1);
    figures.add(QStringLiteral("lufs_max"),
                loudness.isEmpty() ? 0.0 : *std::max_element(loudness.begin(), loudness.end()), 1);
    figures.add(QStringLiteral("lufs_first"), firstLoudness, 1);
    figures.add(QStringLiteral("clipped"), capture.clippedSamples());
    figures.add(QStringLiteral("seconds"), run.seconds, 1);
    figures.add(QStringLiteral("cpu_percent"), run.seconds > 0 ? 100 * run.cpuSeconds / run.seconds : 0.0, 2);
    figures.add(QStringLiteral("ends_handled"), qint64(run.handled));
    figures.add(QStringLiteral("playlist_lines"), qint64(run.playlistLines));
    if (run.longestStall >= 0)
        figures.add(QStringLiteral("longest_stall_ms"), run.longestStall, 1);
    figures.add(QStringLiteral("rss_growth_kb"), run.residentGrowth / 1024);
    figures.print();
    return 0;
}

double percentile99(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(std::min<int>(values.size() - 1, int(values.size() * 0.99)));
}

int phonesRun(const QStringList& arguments, const QString& capturePath)
{
    const Options options(arguments,
                          windowOptions + QStringList{QStringLiteral("--phones"),
                                                      QStringLiteral("--wishes-per-s"),
                                                      QStringLiteral("--seconds")},
                          {QStringLiteral("--hostile")});
    const QString folder = folderArgument(options);
    const bool hostile = options.has(QStringLiteral("--hostile"));
    bool ok = true;
    const int phoneCount = options.number(QStringLiteral("--phones"), 200, 1, ok);
    const double wishesPerSecond = options.decimal(QStringLiteral("--wishes-per-s"), 20, ok);
    const int seconds = options.number(QStringLiteral("--seconds"), 30, 1, ok);
    if (folder.isEmpty() || !ok || phoneCount > 1000)
        return usage();
    // The service on any free port.
    QSettings settings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
    settings.setValue(QStringLiteral("Phones/Enabled"), 0);
    settings.setValue(QStringLiteral("Phones/Port"), 0);
    settings.sync();
    BenchWindow window;
    if (!window.open(options))
        return 1;
    window.addFolder(folder);
    // Switched on once every song is merged, the desk numbers the songs in the library's key order.
    PhoneDesk* desk = window.main().phones();
    if (desk)
        desk->setEnabled(true);
    if (!desk || !desk->isRunning()) {
        err() << "phone wishes did not start\n";
        return 1;
    }
    const SongEnds ends(window.main());
    double longestStall = 0;
    PhoneLoadResult result;
    HostileLoadResult hostiles;
    {
        StallWatch stalls;
        std::unique_ptr<HostileLoad> hostileGuests =
            hostile ? std::make_unique<HostileLoad>(desk->port(), window.songCount()) : nullptr;
        result = runPhoneLoad(
            desk->port(), phoneCount, wishesPerSecond, seconds, window.songCount(),
            []() { QApplication::processEvents(QEventLoop::AllEvents, 5); }, hostile);
        if (hostileGuests)
            hostiles = hostileGuests->finish();
        longestStall = stalls.longestStallMilliseconds();
    }
    // Every accepted wish has started (its playlist line) or still waits in the queue.
    const QString playlist = QString::fromUtf8([&window]() {
        QFile file(window.main().queue()->playlistPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }());
    QList<Track*> all;
    window.main().trackLibrary()->forEachTrack([&all](Track* track) { all << track; });
    // The phones' ids are the order in which the desk first saw the songs: the library's key order.
    int lost = 0;
    for (const int song : result.acceptedSongs) {
        const Track* track = song < all.size() ? all.at(song) : nullptr;
        if (!track || (!playlist.contains(track->artist() + QStringLiteral(" - ") + track->title()) &&
                       !window.main().queue()->queuedSongs().contains(const_cast<Track*>(track))))
            ++lost;
    }
    // The songs' changes while the phones were busy, as heard.
    window.close();
    Capture capture;
    QVector<double> gaps;
    if (capture.load(capturePath)) {
        const QVector<qint64> endFrames = ends.frames();
        gaps = capture.changeSilences(endFrames, int(endFrames.size()) - 1, nullptr);
    }
    Figures figures;
    figures.add(QStringLiteral("phones"), qint64(result.phones));
    figures.add(QStringLiteral("wishes"), qint64(result.wishes));
    figures.add(QStringLiteral("accepted"), qint64(result.accepted));
    figures.add(QStringLiteral("lost"), qint64(lost));
    figures.add(QStringLiteral("search_p99_ms"), percentile99(result.searchMs), 1);
    figures.add(QStringLiteral("wish_visible_p99_ms"), percentile99(result.visibleMs), 1);
    figures.add(QStringLiteral("longest_stall_ms"), longestStall, 1);
    if (hostile) {
        figures.add(QStringLiteral("selfies"), qint64(result.selfieMs.size()));
        figures.add(QStringLiteral("selfies_refused"), qint64(result.selfiesRefused));
        figures.add(QStringLiteral("selfie_p99_ms"), percentile99(result.selfieMs), 1);
        figures.add(QStringLiteral("fresh_token_wishes"), qint64(hostiles.freshWishes));
        figures.add(QStringLiteral("fresh_token_accepted"), qint64(hostiles.freshAccepted));
        figures.add(QStringLiteral("slow_uploads"), qint64(hostiles.slowUploads));
        figures.add(QStringLiteral("forged_photos"), qint64(hostiles.forgedPhotos));
        figures.add(QStringLiteral("forged_refused_fast"), qint64(hostiles.forgedRefusedFast));
        figures.add(QStringLiteral("held_slow_connections"), qint64(hostiles.heldConnections));
    }
    figures.add(QStringLiteral("changes"), qint64(gaps.size()));
    figures.add(QStringLiteral("gap_max_ms"),
                gaps.isEmpty() ? 0.0 : *std::max_element(gaps.begin(), gaps.end()), 1);
    err() << result.searchMs.size() << " searches, " << result.unanswered << " requests unanswered\n";
    err().flush();
    figures.print();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (command == QLatin1String("import")) {
        QCoreApplication application(argc, argv);
        return import(QCoreApplication::arguments().mid(2));
    }
    const QStringList windowCommands = {QStringLiteral("gui-import"), QStringLiteral("grid"),
                                        QStringLiteral("party"), QStringLiteral("phones")};
    if (!windowCommands.contains(command))
        return usage();

    // The window runs as the program would, but in a home of its own and, unless told otherwise, without
    // a screen and (but for the party) without sound.
    const QString home = isolateUserFolders();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString capturePath = home + QStringLiteral("/capture.raw");
    if (command == QLatin1String("party") || command == QLatin1String("phones")) {
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(capturePath));
    } else if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER")) {
        qputenv("SDL_AUDIODRIVER", "dummy");
    }
    QApplication application(argc, argv);
    useReadingThreads();
    const QStringList arguments = QApplication::arguments().mid(2);
    if (command == QLatin1String("gui-import"))
        return guiImport(arguments);
    if (command == QLatin1String("grid"))
        return grid(arguments);
    if (command == QLatin1String("phones"))
        return phonesRun(arguments, capturePath);
    return party(arguments, capturePath);
}
