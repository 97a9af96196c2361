// SPDX-License-Identifier: GPL-3.0-or-later
#include "benchsupport.h"

#include "app/startup.h"
#include "tags/SongFile.h"
#include "tags/songformat.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent>

#include <mpg123.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>
#include <ctime>
#include <functional>
#include <memory>

namespace vimobench {

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

Options::Options(const QStringList& arguments, const QStringList& valued, const QStringList& switches)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!argument.startsWith(QLatin1String("--")))
            free << argument;
        else if (switches.contains(argument))
            given.insert(argument, QString());
        else if (valued.contains(argument) && i + 1 < arguments.size())
            given.insert(argument, arguments.at(++i));
        else
            valid = false;
    }
}

int Options::number(const QString& name, int fallback, int minimum, bool& ok) const
{
    if (!has(name))
        return fallback;
    bool parsed = false;
    const int value = given.value(name).toInt(&parsed);
    if (!parsed || value < minimum)
        ok = false;
    return value;
}

double Options::decimal(const QString& name, double fallback, bool& ok) const
{
    if (!has(name))
        return fallback;
    bool parsed = false;
    const double value = given.value(name).toDouble(&parsed);
    if (!parsed)
        ok = false;
    return value;
}

bool applyThreadOption(const Options& options)
{
    bool ok = true;
    const int threads = options.number(QStringLiteral("--threads"), 0, 1, ok);
    if (ok && threads > 0)
        QThreadPool::globalInstance()->setMaxThreadCount(threads);
    else if (ok)
        useReadingThreads();
    return ok;
}

void Figures::add(const QString& name, const QString& value)
{
    pairs << name + QLatin1Char('=') + value;
}

void Figures::add(const QString& name, qint64 value)
{
    add(name, QString::number(value));
}

void Figures::add(const QString& name, double value, int decimals)
{
    add(name, QString::number(value, 'f', decimals));
}

void Figures::print() const
{
    out() << pairs.join(QLatin1Char(' ')) << '\n';
    out().flush();
}

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

double processCpuSeconds()
{
    timespec time{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return double(time.tv_sec) + double(time.tv_nsec) / 1e9;
}

QMap<QString, double> threadCpuSeconds()
{
    QMap<QString, double> seconds;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + QStringLiteral("/comm")));
        QFile schedule(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (!name.open(QIODevice::ReadOnly) || !schedule.open(QIODevice::ReadOnly))
            continue;
        // The first field of schedstat is the time spent on a CPU in nanoseconds.
        seconds[QString::fromUtf8(name.readAll().trimmed())] +=
            schedule.readAll().split(' ').value(0).toLongLong() / 1e9;
    }
    return seconds;
}

double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

namespace {

// Playing time of a song of another format than MP3 as FFmpeg decodes it, frame by frame: the decoder
// drops what the container says to skip (Opus pre-skip, an MP4's edit list, Vorbis' last granule).
double decodedByFfmpeg(const QString& path)
{
    AVFormatContext* container = nullptr;
    if (avformat_open_input(&container, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return -1;
    const std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> closing(&container,
                                                                                 avformat_close_input);
    const AVCodec* codec = nullptr;
    const int stream = avformat_find_stream_info(container, nullptr) < 0
                           ? -1
                           : av_find_best_stream(container, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0 || !codec)
        return -1;
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    const std::unique_ptr<AVCodecContext*, void (*)(AVCodecContext**)> freeing(&decoder,
                                                                               avcodec_free_context);
    AVPacket* packet = av_packet_alloc();
    const std::unique_ptr<AVPacket*, void (*)(AVPacket**)> freeingPacket(&packet, av_packet_free);
    AVFrame* frame = av_frame_alloc();
    const std::unique_ptr<AVFrame*, void (*)(AVFrame**)> freeingFrame(&frame, av_frame_free);
    if (!decoder || !packet || !frame ||
        avcodec_parameters_to_context(decoder, container->streams[stream]->codecpar) < 0 ||
        avcodec_open2(decoder, codec, nullptr) < 0)
        return -1;
    qint64 samples = 0;
    const auto receive = [&]() {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            samples += frame->nb_samples;
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(container, packet) >= 0) {
        if (packet->stream_index == stream && avcodec_send_packet(decoder, packet) >= 0)
            receive();
        av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    receive();
    return decoder->sample_rate > 0 ? double(samples) / decoder->sample_rate : -1;
}

} // namespace

double decodedSeconds(const QString& path)
{
    QFile song(path);
    if (song.open(QIODevice::ReadOnly) && formatOfHead(song.read(64)) != SongFormat::Mp3)
        return decodedByFfmpeg(path);
    song.close();
    static const bool ready = mpg123_init() == MPG123_OK;
    if (!ready)
        return -1;
    const std::unique_ptr<mpg123_handle, decltype(&mpg123_delete)> decoder(mpg123_new(nullptr, nullptr),
                                                                           &mpg123_delete);
    if (!decoder)
        return -1;
    mpg123_param(decoder.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    if (mpg123_open(decoder.get(), QFile::encodeName(path).constData()) != MPG123_OK)
        return -1;
    std::vector<unsigned char> buffer(64 * 1024);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    qint64 samples = 0;
    for (;;) {
        size_t done = 0;
        const int result = mpg123_read(decoder.get(), buffer.data(), buffer.size(), &done);
        if (result == MPG123_NEW_FORMAT)
            mpg123_getformat(decoder.get(), &rate, &channels, &encoding);
        if (done > 0 && channels > 0)
            samples += qint64(done) / (channels * mpg123_encsize(encoding));
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT)
            break;
    }
    mpg123_close(decoder.get());
    return rate > 0 ? double(samples) / rate : -1;
}

void LengthCheck::addTo(Figures& figures) const
{
    figures.add(QStringLiteral("lengths_checked"), qint64(checked));
    figures.add(QStringLiteral("lengths_beyond_0.05s"), qint64(beyondTolerance));
    figures.add(QStringLiteral("length_error_max_s"), largestError, 3);
    figures.add(QStringLiteral("length_error_mean_s"), meanError, 4);
    for (auto format = largestErrorByFormat.cbegin(); format != largestErrorByFormat.cend(); ++format)
        figures.add(QStringLiteral("length_error_max_s_") + format.key(), format.value(), 3);
}

namespace {
double decodedLength(const QPair<QString, double>& file)
{
    return decodedSeconds(file.first);
}
} // namespace

LengthCheck checkLengths(const QList<QPair<QString, double>>& reported)
{
    const QList<double> decoded = QtConcurrent::blockingMapped(reported, decodedLength);
    LengthCheck check;
    double errorSum = 0;
    for (int i = 0; i < reported.size(); ++i) {
        if (decoded.at(i) < 0) {
            ++check.undecodable;
            continue;
        }
        const double error = std::abs(reported.at(i).second - decoded.at(i));
        ++check.checked;
        errorSum += error;
        const QString format = QLatin1String(formatKey(formatOf(SongFile(reported.at(i).first))));
        check.largestErrorByFormat[format] = qMax(check.largestErrorByFormat.value(format), error);
        if (error > 0.05)
            ++check.beyondTolerance;
        if (error > check.largestError || check.worstFile.isEmpty()) {
            check.largestError = error;
            check.worstFile = reported.at(i).first;
        }
    }
    check.meanError = check.checked > 0 ? errorSum / check.checked : 0;
    if (!check.worstFile.isEmpty())
        err() << "largest length error " << QString::number(check.largestError, 'f', 3)
              << " s: " << check.worstFile << '\n';
    err().flush();
    return check;
}

QString isolateUserFolders()
{
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/vimo-bench-XXXXXX"));
    const QByteArray path = QFile::encodeName(home.path());
    qputenv("HOME", path);
    qputenv("XDG_CONFIG_HOME", path + "/.config");
    qputenv("XDG_DATA_HOME", path + "/.local/share");
    qputenv("XDG_CACHE_HOME", path + "/.cache");
    qunsetenv("XDG_PICTURES_DIR");
    return home.path();
}

namespace {
QTimer*& questionTimer()
{
    static QTimer* timer = nullptr;
    return timer;
}
} // namespace

void answerQuestions(const QString& buttonText)
{
    stopAnsweringQuestions();
    questionTimer() = new QTimer(qApp);
    QObject::connect(questionTimer(), &QTimer::timeout, qApp, [buttonText]() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        err() << "answering \"" << box->text() << "\"\n";
        err().flush();
        const QList<QAbstractButton*> buttons = box->buttons();
        const auto named = std::find_if(buttons.begin(), buttons.end(), [&](QAbstractButton* button) {
            return button->text() == buttonText;
        });
        if (named != buttons.end())
            (*named)->click();
        else if (QAbstractButton* fallback = box->defaultButton()
                                                 ? static_cast<QAbstractButton*>(box->defaultButton())
                                                 : buttons.value(0))
            fallback->click();
    });
    questionTimer()->start(20);
}

void stopAnsweringQuestions()
{
    delete questionTimer();
    questionTimer() = nullptr;
}

} // namespace vimobench
