// SPDX-License-Identifier: GPL-3.0-or-later
// The audio back end as a listener would check it: SDL's disk driver writes everything the device played
// into a file, which is compared with libmpg123's own decoding of the same song.
#include "audio/AllBase.h"
#include "audio/AllBaseBackend.h"
#include "audio/AudioEngine.h"
#include "audio/FrameRing.h"
#include "audio/Loudness.h"
#include "audio/LoudnessCache.h"
#include "base/runlog.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <ebur128.h>
#include <limits>
#include <memory>
#include <mpg123.h>
#include <mutex>
#include <pthread.h>
#include <vector>

namespace {

// Playbacks run in real time; a 2 s song with pauses must have ended well within this.
constexpr int playbackTimeoutMs = 30000;
constexpr int rate = AudioEngine::sampleRate;

using Samples = std::vector<qint16>; // interleaved stereo frames

QString fixture(const QString& name)
{
    return vimotest::fixturesDirectory() + QLatin1Char('/') + name;
}

qint64 frameCount(const Samples& samples)
{
    return qint64(samples.size() / 2);
}

bool silentFrame(const Samples& samples, qint64 frame)
{
    return samples[size_t(frame * 2)] == 0 && samples[size_t(frame * 2 + 1)] == 0;
}

// Equal, or with `tolerance` steps between the two in each channel.
bool sameFrame(const Samples& a, qint64 i, const Samples& b, qint64 j, int tolerance = 0)
{
    return std::abs(a[size_t(i * 2)] - b[size_t(j * 2)]) <= tolerance &&
           std::abs(a[size_t(i * 2 + 1)] - b[size_t(j * 2 + 1)]) <= tolerance;
}

qint64 firstAudibleFrame(const Samples& samples)
{
    for (qint64 i = 0; i < frameCount(samples); ++i) {
        if (!silentFrame(samples, i))
            return i;
    }
    return -1;
}

qint64 lastAudibleFrame(const Samples& samples)
{
    for (qint64 i = frameCount(samples) - 1; i >= 0; --i) {
        if (!silentFrame(samples, i))
            return i;
    }
    return -1;
}

// libmpg123's own decoding of a 44.1 kHz stereo file, straight from its path.
Samples decodeWithMpg123(const QString& path)
{
    Samples samples;
    mpg123_handle* decoder = mpg123_new(nullptr, nullptr);
    if (!decoder)
        return samples;
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(decoder);
    mpg123_format(decoder, rate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(decoder, QFile::encodeName(path).constData()) == MPG123_OK) {
        std::vector<unsigned char> buffer(16384);
        for (;;) {
            size_t done = 0;
            const int result = mpg123_read(decoder, buffer.data(), buffer.size(), &done);
            const auto* decoded = reinterpret_cast<const qint16*>(buffer.data());
            samples.insert(samples.end(), decoded, decoded + done / sizeof(qint16));
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT)
                break;
        }
        mpg123_close(decoder);
    }
    mpg123_delete(decoder);
    return samples;
}

// The song's loudness measured whole in its own format, a mono song as the two equal channels it plays on;
// NaN when it cannot be decoded.
double wholeLoudness(const QString& path)
{
    double loudness = std::numeric_limits<double>::quiet_NaN();
    mpg123_handle* decoder = mpg123_new(nullptr, nullptr);
    long songRate = 0;
    int channels = 0;
    int encoding = 0;
    if (decoder && mpg123_open(decoder, QFile::encodeName(path).constData()) == MPG123_OK &&
        mpg123_getformat(decoder, &songRate, &channels, &encoding) == MPG123_OK) {
        mpg123_format_none(decoder);
        mpg123_format(decoder, songRate, channels, MPG123_ENC_SIGNED_16);
        ebur128_state* meter =
            ebur128_init(unsigned(channels), static_cast<unsigned long>(songRate), EBUR128_MODE_I);
        if (channels == 1)
            ebur128_set_channel(meter, 0, EBUR128_DUAL_MONO);
        std::vector<short> buffer(16384);
        size_t done = 0;
        int result = MPG123_OK;
        while (result == MPG123_OK) {
            result = mpg123_read(decoder, buffer.data(), buffer.size() * sizeof(short), &done);
            ebur128_add_frames_short(meter, buffer.data(), done / sizeof(short) / size_t(channels));
        }
        ebur128_loudness_global(meter, &loudness);
        ebur128_destroy(&meter);
    }
    mpg123_delete(decoder);
    return loudness;
}

Samples readCapture(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Samples();
    const QByteArray bytes = file.readAll();
    Samples samples(size_t(bytes.size()) / sizeof(qint16));
    std::copy_n(bytes.constData(), samples.size() * sizeof(qint16), reinterpret_cast<char*>(samples.data()));
    return samples;
}

// Where a walk of the capture along the reference stopped.
struct Walk
{
    qint64 capture = 0;   // the capture frame it stopped at
    qint64 reference = 0; // the reference frame it stopped at
    qint64 matched = 0;   // reference frames the capture held
    qint64 inserted = 0;  // frames of silence playback inserted between them
};

// Walks the capture along the reference from where `walk` stands: every capture frame must match the
// next reference frame (within `tolerance` steps) or be silence that playback inserted. Stops at the
// first other frame, or where either runs out.
Walk walkFrom(const Samples& capture, const Samples& reference, Walk walk, int tolerance = 0)
{
    // A walk from -1, where nothing was audible, stays there.
    while (walk.capture >= 0 && walk.reference >= 0 && walk.capture < frameCount(capture) &&
           walk.reference < frameCount(reference)) {
        if (sameFrame(capture, walk.capture, reference, walk.reference, tolerance)) {
            ++walk.reference;
            ++walk.matched;
        } else if (silentFrame(capture, walk.capture)) {
            ++walk.inserted;
        } else {
            break;
        }
        ++walk.capture;
    }
    return walk;
}

// The walk from the first audible frame of each.
Walk walkWithInsertedSilence(const Samples& capture, const Samples& reference)
{
    return walkFrom(capture, reference, Walk{firstAudibleFrame(capture), firstAudibleFrame(reference), 0, 0});
}

// The whole reference, from its first audible frame, with nothing sounding after its end. Returns "" or
// what went wrong.
QString compareWithInsertedSilence(const Samples& capture, const Samples& reference, qint64* insertedFrames)
{
    const Walk walk = walkWithInsertedSilence(capture, reference);
    *insertedFrames = walk.inserted;
    // A walk that found nothing audible to start from stays where it started, at -1.
    if (walk.capture < 0 || walk.reference < 0)
        return QStringLiteral("nothing audible (capture %1, reference %2)")
            .arg(walk.capture)
            .arg(walk.reference);
    if (walk.reference < frameCount(reference)) {
        if (walk.capture >= frameCount(capture))
            return QStringLiteral("the capture ends at reference frame %1 of %2")
                .arg(walk.reference)
                .arg(frameCount(reference));
        return QStringLiteral("capture frame %1 differs from reference frame %2")
            .arg(walk.capture)
            .arg(walk.reference);
    }
    const qint64 last = lastAudibleFrame(capture);
    if (last >= walk.capture)
        return QStringLiteral("sound after the end of the song, at capture frame %1").arg(last);
    return QString();
}

// FFmpeg's own decoding of a song, by its command-line program, as 44.1 kHz stereo: the reference playback of
// the formats beside MP3 is held against. A mono song is put on both channels at full level, as it plays.
// FFmpeg's program leaves the padding of an MP4's last packet in: only the song's first `frames` are kept.
Samples decodeWithFfmpeg(const QString& path, bool mono, qint64 frames = std::numeric_limits<qint64>::max())
{
    QProcess ffmpeg;
    QStringList arguments{"-nostdin", "-loglevel", "error", "-i", path, "-f", "s16le", "-ar", "44100"};
    arguments << (mono ? QStringList{"-af", "pan=stereo|c0=c0|c1=c0"} : QStringList{"-ac", "2"}) << "-";
    ffmpeg.start("ffmpeg", arguments);
    if (!ffmpeg.waitForFinished(playbackTimeoutMs) || ffmpeg.exitCode() != 0)
        return Samples();
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    Samples samples(std::min(size_t(bytes.size()) / sizeof(qint16), size_t(frames) * 2));
    std::copy_n(bytes.constData(), samples.size() * sizeof(qint16), reinterpret_cast<char*>(samples.data()));
    return samples;
}

// The phase in radians of a tone of `frequency` Hz in the left channel over `frames` frames from `from`,
// taken against the capture's own frame numbers: a frame inserted or lost in between moves it by
// 2π·frequency/44100.
double tonePhase(const Samples& samples, qint64 from, qint64 frames, double frequency)
{
    double sine = 0;
    double cosine = 0;
    for (qint64 i = from; i < from + frames; ++i) {
        const double angle = 2 * M_PI * frequency * double(i) / rate;
        sine += samples[size_t(i * 2)] * std::sin(angle);
        cosine += samples[size_t(i * 2)] * std::cos(angle);
    }
    return std::atan2(cosine, sine);
}

// How far the capture's audio lies from the reference's over every frame of the reference, and how many
// frames more (or, negative, fewer) sound in the capture.
struct Deviation
{
    double relative = 1;
    qint64 extraFrames = 0;
};

// The root mean square of the difference over that of the reference, the capture's frame `start` laid on
// the reference's `referenceStart`.
double relativeDeviation(const Samples& capture, qint64 start, const Samples& reference,
                         qint64 referenceStart)
{
    double difference = 0;
    double energy = 0;
    for (qint64 i = referenceStart; i < frameCount(reference); ++i) {
        const qint64 at = start + i - referenceStart;
        for (size_t channel = 0; channel < 2; ++channel) {
            const double expected = reference[size_t(i * 2) + channel];
            const double played = at >= 0 && at < frameCount(capture) ? capture[size_t(at * 2) + channel] : 0;
            difference += (played - expected) * (played - expected);
            energy += expected * expected;
        }
    }
    return energy > 0 ? std::sqrt(difference / energy) : 1;
}

// A resampled song's first audible frame may fall a frame off where its sound starts: the capture is laid
// against the reference where they differ least, a few frames around that.
Deviation deviationFrom(const Samples& capture, const Samples& reference)
{
    Deviation deviation;
    const qint64 start = firstAudibleFrame(capture);
    const qint64 referenceStart = firstAudibleFrame(reference);
    if (start < 0 || referenceStart < 0)
        return deviation;
    deviation.extraFrames =
        (lastAudibleFrame(capture) - start) - (lastAudibleFrame(reference) - referenceStart);
    deviation.relative = std::numeric_limits<double>::max();
    for (qint64 shift = -2; shift <= 2; ++shift)
        deviation.relative = std::min(deviation.relative,
                                      relativeDeviation(capture, start + shift, reference, referenceStart));
    return deviation;
}

// Stands in for the main window: the signal that the end procedure emits, connected queued.
class EndReceiver : public QObject
{
    Q_OBJECT

public:
    EndReceiver()
    {
        connect(this, &EndReceiver::notifyFromBaseThread, this, &EndReceiver::received, Qt::QueuedConnection);
        connect(
            this, &EndReceiver::notifyFromBaseThread, this,
            [this] {
                char name[32] = {};
                pthread_getname_np(pthread_self(), name, sizeof name);
                std::lock_guard<std::mutex> lock(mutex);
                emitters.append(QString::fromUtf8(name));
            },
            Qt::DirectConnection);
    }

    QList<QThread*> deliveredOn;

    QStringList emittingThreads()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return emitters;
    }

signals:
    void notifyFromBaseThread();

private slots:
    void received() { deliveredOn.append(QThread::currentThread()); }

private:
    std::mutex mutex;
    QStringList emitters;
};

// A player whose end notification goes to a receiver of its own.
struct Song
{
    explicit Song(const QString& name) : player(fixture(name), songEndSync, &receiver) {}

    EndReceiver receiver;
    AllBase player;
};

} // namespace

class TestAudio : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir captures;
    AllBaseBackend backend;
    QString capturePath;

    // Opens the device into a capture file of its own for the running test.
    bool startCapture()
    {
        const QString tag = QTest::currentDataTag() ? QString::fromUtf8(QTest::currentDataTag()) : QString();
        capturePath = captures.filePath(QString::fromUtf8(QTest::currentTestFunction()) + tag + ".raw");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(capturePath));
        if (!backend.init(0))
            return false;
        const DeviceFormat format = AudioEngine::instance().deviceFormat();
        return format.sampleRate == 44100 && format.channels == 2 && format.bitsPerSample == 16;
    }

    // Closes the device, which finishes the file, and returns what it played.
    Samples finishCapture()
    {
        backend.free();
        return readCapture(capturePath);
    }

    static bool waitForPosition(quint32 stream, qint64 frames)
    {
        return QTest::qWaitFor([&] { return AudioEngine::instance().position(stream) >= frames; },
                               playbackTimeoutMs);
    }

    // The device's own clock: SDL's disk driver writes every period into the capture, silence included,
    // also while the engine has paused the device because nothing plays.
    bool waitForCaptureFrames(qint64 frames) const
    {
        const auto captured = [this] { return QFileInfo(capturePath).size() / qint64(2 * sizeof(qint16)); };
        const qint64 target = captured() + frames;
        return QTest::qWaitFor([&] { return captured() >= target; }, playbackTimeoutMs);
    }

    static bool waitForNotifications(EndReceiver& receiver, int count)
    {
        return QTest::qWaitFor([&] { return receiver.deliveredOn.size() >= count; }, playbackTimeoutMs);
    }

    // Every stream gone, and every queued notification delivered.
    static void settle()
    {
        QVERIFY(
            QTest::qWaitFor([] { return AudioEngine::instance().streamCount() == 0; }, playbackTimeoutMs));
        QCoreApplication::processEvents();
    }

    // Closes the device and compares what it played with libmpg123's own decoding of `song`, which must
    // have sounded without a break (`pausedFrames` 0) or with at least `pausedFrames` of inserted silence.
    // Returns "" or what differs.
    QString differenceFromDecoder(const QString& song, qint64 pausedFrames)
    {
        qint64 inserted = -1;
        const QString difference =
            compareWithInsertedSilence(finishCapture(), decodeWithMpg123(fixture(song)), &inserted);
        if (!difference.isEmpty())
            return difference;
        if (pausedFrames == 0 ? inserted != 0 : inserted < pausedFrames)
            return QStringLiteral("%1 frames of silence inserted").arg(inserted);
        return QString();
    }

    // Closes the device and compares what it played with libmpg123's decodings of `first` and `second` back
    // to back, without a single frame of silence between them. Returns "" or what differs.
    QString differenceFromBackToBack(const QString& first, const QString& second)
    {
        Samples reference = decodeWithMpg123(fixture(first));
        const Samples after = decodeWithMpg123(fixture(second));
        reference.insert(reference.end(), after.begin(), after.end());
        qint64 inserted = -1;
        const QString difference = compareWithInsertedSilence(finishCapture(), reference, &inserted);
        if (!difference.isEmpty() || inserted == 0)
            return difference;
        return QStringLiteral("%1 frames of silence inserted").arg(inserted);
    }

    // Waits for `expected` end notifications and checks how they travelled.
    static void awaitEnds(EndReceiver& receiver, int expected)
    {
        QVERIFY(waitForNotifications(receiver, expected));
        verifyDelivery(receiver, expected);
    }

    // Whether the run's log holds a line that contains `text`.
    static bool logged(const QString& text) { return vimotest::readTextFile(logFilePath()).contains(text); }

    static bool waitForDevice()
    {
        return QTest::qWaitFor([] { return AudioEngine::instance().hasDevice(); }, playbackTimeoutMs);
    }

    static void verifyDelivery(EndReceiver& receiver, int expected)
    {
        settle();
        QCOMPARE(receiver.deliveredOn.size(), expected);
        for (QThread* thread : qAsConst(receiver.deliveredOn))
            QCOMPARE(thread, qApp->thread());
        const QStringList emitters = receiver.emittingThreads();
        QCOMPARE(emitters.size(), expected);
        for (const QString& name : emitters)
            QVERIFY2(name.startsWith(QLatin1String("audio update")), qPrintable(name));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(captures.isValid());
        QCOMPARE(qgetenv("SDL_AUDIODRIVER"), QByteArray("disk"));
        // The log goes into the isolated home, where the failure tests read it.
        QVERIFY(!runFolder().isEmpty());
        for (const char* name :
             {"audio-44k-stereo.mp3", "audio-48k-stereo.mp3", "audio-44k-mono.mp3", "audio-22k-stereo.mp3",
              "audio-short.mp3", "audio-garbage-middle.mp3", "audio-zero-tail.mp3",
              "audio-zeros-then-tag.mp3", "loudness-loud.mp3", "loudness-quiet.mp3", "loudness-hiss.mp3",
              "loudness-mono.mp3", "loudness-long.mp3"})
            QVERIFY2(QFile::exists(fixture(QLatin1String(name))), name);
        QVERIFY(frameCount(decodeWithMpg123(fixture("audio-44k-stereo.mp3"))) >= 2 * rate);
    }

    void cleanup()
    {
        backend.free();
        AudioEngine::instance().setVolume(100);
        qputenv("SDL_AUDIODRIVER", "disk");
    }

    void sdlVersionCheck_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("patch");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("SDL 1.2") << 1 << 2 << 15 << false;
        QTest::newRow("2.0.17, too old") << 2 << 0 << 17 << false;
        QTest::newRow("2.0.18, the oldest") << 2 << 0 << 18 << true;
        QTest::newRow("2.26.5") << 2 << 26 << 5 << true;
        QTest::newRow("3.0.0, another interface") << 3 << 0 << 0 << false;
    }

    void sdlVersionCheck()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, patch);
        QFETCH(bool, accepted);
        const QString problem = AudioEngine::sdlVersionProblem(major, minor, patch);
        QCOMPARE(problem.isEmpty(), accepted);
        if (!accepted)
            QVERIFY2(problem.contains(
                         QStringLiteral("SDL2 was loaded: %1.%2.%3").arg(major).arg(minor).arg(patch)),
                     qPrintable(problem));
    }

    void loadedLibrariesAreAccepted() { QCOMPARE(AudioEngine::libraryVersionProblem(), QString()); }

    void fileProceduresReadAndSeekTheFile()
    {
        const QString path = fixture("audio-short.mp3");
        QFile reference(path);
        QVERIFY(reference.open(QIODevice::ReadOnly));
        const QByteArray bytes = reference.readAll();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));

        QCOMPARE(fileLengthProc(&file), quint64(bytes.size()));
        char buffer[64] = {};
        QCOMPARE(fileReadProc(buffer, 16, &file), 16u);
        QCOMPARE(QByteArray(buffer, 16), bytes.left(16));
        QVERIFY(fileSeekProc(1000, &file));
        QCOMPARE(fileReadProc(buffer, 64, &file), 64u);
        QCOMPARE(QByteArray(buffer, 64), bytes.mid(1000, 64));
        QVERIFY(fileSeekProc(quint64(bytes.size()) - 10, &file));
        QCOMPARE(fileReadProc(buffer, 64, &file), 10u);
        QCOMPARE(fileReadProc(buffer, 64, &file), 0u);
        QVERIFY(!fileSeekProc(quint64(bytes.size()) + 1, &file));
        fileCloseProc(&file);
        QVERIFY(!file.isOpen());
        QCOMPARE(fileReadProc(buffer, 64, &file), 0u);

        QCOMPARE(fileLengthProc(nullptr), quint64(0));
        QCOMPARE(fileReadProc(buffer, 64, nullptr), 0u);
        QVERIFY(!fileSeekProc(0, nullptr));
        fileCloseProc(nullptr);
    }

    void capturedAudioEqualsDecoderOutput()
    {
        QVERIFY(startCapture());
        Song song("audio-44k-stereo.mp3");
        QVERIFY(song.player.play());
        QVERIFY(song.player.streamHandle() != 0);
        awaitEnds(song.receiver, 1);
        song.player.close();

        const QString difference = differenceFromDecoder("audio-44k-stereo.mp3", 0);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void pauseThenPlayContinuesWhereItStopped()
    {
        QVERIFY(startCapture());
        Song song("audio-44k-stereo.mp3");
        QVERIFY(song.player.play());
        const quint32 stream = song.player.streamHandle();
        QVERIFY(waitForPosition(stream, rate / 2));
        QVERIFY(song.player.pause());
        // Past the pass that may have been mixing when the pause came, the position stands still.
        QVERIFY(waitForCaptureFrames(rate / 20));
        const qint64 pausedAt = AudioEngine::instance().position(stream);
        const quint64 mixedAt = AudioEngine::instance().deviceFrames();
        QVERIFY(waitForCaptureFrames(rate / 4));
        QCOMPARE(AudioEngine::instance().position(stream), pausedAt);
        // The playing cell's clock reads this count, so it stands still too.
        QCOMPARE(song.player.playedMilliseconds(), pausedAt * 1000 / rate);
        // With nothing playing the device is paused: the engine mixes no silence meanwhile.
        QCOMPARE(AudioEngine::instance().deviceFrames(), mixedAt);
        QCOMPARE(song.receiver.deliveredOn.size(), 0);
        QVERIFY(song.player.play());
        QCOMPARE(song.player.streamHandle(), stream);
        awaitEnds(song.receiver, 1);

        const QString difference = differenceFromDecoder("audio-44k-stereo.mp3", rate / 4);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    // Playing a playing song, or pausing it twenty times, neither restarts it nor ends it twice.
    void repeatedPlayAndPauseGiveOneEnd_data()
    {
        QTest::addColumn<int>("pauses");
        QTest::newRow("play twice") << 0;
        QTest::newRow("twenty pauses") << 20;
    }

    void repeatedPlayAndPauseGiveOneEnd()
    {
        QFETCH(int, pauses);
        QVERIFY(startCapture());
        Song song("audio-44k-stereo.mp3");
        QVERIFY(song.player.play());
        const quint32 stream = song.player.streamHandle();
        QVERIFY(waitForPosition(stream, rate / 2));
        QVERIFY(song.player.play());
        QCOMPARE(song.player.streamHandle(), stream);
        for (int cycle = 1; cycle <= pauses; ++cycle) {
            QVERIFY(waitForPosition(stream, rate / 2 + qint64(cycle) * rate / 20));
            QVERIFY(song.player.pause());
            QVERIFY(waitForCaptureFrames(rate / 50));
            QVERIFY(song.player.play());
        }
        awaitEnds(song.receiver, 1);

        const QString difference = differenceFromDecoder("audio-44k-stereo.mp3", pauses > 0 ? 1 : 0);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void otherFormatsPlayAtTheirSpeed_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("mono");
        QTest::newRow("48 kHz stereo") << "audio-48k-stereo.mp3" << false;
        QTest::newRow("44.1 kHz mono") << "audio-44k-mono.mp3" << true;
        QTest::newRow("22.05 kHz stereo") << "audio-22k-stereo.mp3" << false;
    }

    // Each file is a 2 s tone of 1000 Hz on both channels at 40 % of full scale.
    void otherFormatsPlayAtTheirSpeed()
    {
        QFETCH(QString, file);
        QFETCH(bool, mono);
        QVERIFY(startCapture());
        Song song(file);
        QVERIFY(song.player.play());
        awaitEnds(song.receiver, 1);

        const Samples capture = finishCapture();
        const qint64 first = firstAudibleFrame(capture);
        const qint64 last = lastAudibleFrame(capture);
        QVERIFY(first >= 0);
        const double seconds = double(last - first + 1) / rate;
        QVERIFY2(std::abs(seconds - 2.0) <= 0.02, qPrintable(QString::number(seconds)));
        // Nor is the end of the song lost in the rate conversion.
        QVERIFY2(std::abs(last - first + 1 - 2 * rate) <= 64, qPrintable(QString::number(last - first + 1)));

        int crossings = 0;
        int peak = 0;
        for (qint64 i = first; i <= last; ++i) {
            const qint16 left = capture[size_t(i * 2)];
            // A mono song sounds alike on both sides; a joint-stereo encoding of equal sides may differ
            // in the last bit.
            if (mono)
                QCOMPARE(capture[size_t(i * 2 + 1)], left);
            peak = std::max(peak, std::abs(int(left)));
            if (i > first && (capture[size_t(i * 2 - 2)] < 0) != (left < 0))
                ++crossings;
        }
        const double frequency = crossings / 2.0 / seconds;
        QVERIFY2(std::abs(frequency - 1000) <= 10, qPrintable(QString::number(frequency)));
        QVERIFY2(peak > 0.35 * 32768 && peak < 0.45 * 32768, qPrintable(QString::number(peak)));
    }

    void streamsPlayingTogetherAreMixed()
    {
        QVERIFY(startCapture());
        EndReceiver receiver;
        AllBase first(fixture("audio-44k-stereo.mp3"), songEndSync, &receiver);
        AllBase second(fixture("audio-short.mp3"), songEndSync, &receiver);
        QVERIFY(first.play());
        QVERIFY(waitForPosition(first.streamHandle(), rate / 4));
        QVERIFY(second.play());
        QVERIFY(second.streamHandle() != first.streamHandle());
        awaitEnds(receiver, 2);

        const Samples capture = finishCapture();
        const Samples referenceA = decodeWithMpg123(fixture("audio-44k-stereo.mp3"));
        const Samples referenceB = decodeWithMpg123(fixture("audio-short.mp3"));
        // The first song started alone, so its offset shows; what remains after taking it away must be
        // exactly the second song.
        const qint64 offsetA = firstAudibleFrame(capture) - firstAudibleFrame(referenceA);
        Samples residual(capture.size());
        for (size_t i = 0; i < capture.size(); ++i) {
            const qint64 at = qint64(i) - offsetA * 2;
            const int a = (at >= 0 && at < qint64(referenceA.size())) ? referenceA[size_t(at)] : 0;
            residual[i] = qint16(capture[i] - a);
        }
        qint64 inserted = -1;
        const QString difference = compareWithInsertedSilence(residual, referenceB, &inserted);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        QCOMPARE(inserted, qint64(0));
        QVERIFY(firstAudibleFrame(residual) >= firstAudibleFrame(capture) + rate / 4);
    }

    // Garbage wedged into the middle of a song is searched past: the rest of the song plays to its end.
    void damagedMiddlePlaysOn()
    {
        QVERIFY(startCapture());
        Song song("audio-garbage-middle.mp3");
        QVERIFY(song.player.play());
        awaitEnds(song.receiver, 1);

        const Samples capture = finishCapture();
        const Samples reference = decodeWithMpg123(fixture("audio-44k-stereo.mp3"));
        // The damage cuts one frame in two, a second before the end. The song sounds as it was encoded up
        // to there, exactly. Past the damage the decoder needs up to a quarter of a second to find whole
        // frames again, having lost or gained a frame or two, and its synthesis then runs in another
        // phase, which rounds a sample now and then the other way. Its count of the song's length then
        // ends the song one MP3 frame early or late. So the song's last half second but for its last two
        // MP3 frames must sound, every frame within one step, and nothing may sound long after it.
        // Stopping at the damage would lose all of it.
        const Walk start = walkWithInsertedSilence(capture, reference);
        const qint64 mp3Frame = 1152;
        const qint64 restTo = lastAudibleFrame(reference) + 1 - 2 * mp3Frame;
        const qint64 restFrom = restTo - rate / 2;
        const qint64 nominal = start.capture + restFrom - start.reference;
        Walk rest{nominal, restFrom, 0, 0};
        for (qint64 at = std::max(start.capture, nominal - rate / 5);
             at < nominal + rate / 5 && rest.reference < restTo; ++at)
            rest = walkFrom(capture, reference, Walk{at, restFrom, 0, 0}, 1);
        const qint64 lastSound = lastAudibleFrame(capture);
        const QString walks =
            QStringLiteral("exactly from the start %1 frames of %2 (to capture frame %3); "
                           "the rest from reference frame %4 reaches %5 (capture frame %6); "
                           "last sound at capture frame %7")
                .arg(start.matched)
                .arg(frameCount(reference))
                .arg(start.capture)
                .arg(restFrom)
                .arg(rest.reference)
                .arg(rest.capture)
                .arg(lastSound);
        QVERIFY2(start.matched >= rate * 3 / 4, qPrintable(walks));
        QVERIFY2(rest.reference >= restTo, qPrintable(walks));
        QVERIFY2(lastSound < rest.capture + 4 * mp3Frame, qPrintable(walks));
    }

    // Every format beside MP3 plays as FFmpeg's own program decodes it, converted to the device's rate and
    // channels, and is measured for loudness alike; the halves of a tone cut in two, one armed behind the
    // other, sound as the whole tone, without a frame inserted or lost at the cut. Played at 44.1 kHz
    // a song comes out exactly as FFmpeg decodes it; a resampled one within the two resamplers' difference,
    // which a frame's offset, another rate or a swapped channel exceeds many times.
    void everyFormatPlaysAsFfmpegDecodesIt_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second"); // armed behind the first, or ""
        QTest::addColumn<bool>("mono");
        QTest::addColumn<double>("relativeError");
        QTest::addColumn<qint64>("lengthError"); // frames
        // How far the second half may start off the whole tone, in frames. Opus holds 48 kHz: a cut at a
        // 44.1 kHz frame falls between two of its samples, and the encoder rounds the first half's length up
        // to the next, which the conversion back to 44.1 kHz rounds to a whole frame.
        QTest::addColumn<double>("seamError");
        const char* resampled = "opus";
        for (const char* kind : {"flac", "vorbis", "opus", "aac", "alac", "wav"}) {
            const QString suffix =
                QHash<QString, QString>{{"flac", ".flac"}, {"vorbis", ".ogg"}, {"opus", ".opus"},
                                        {"aac", ".m4a"},   {"alac", ".m4a"},   {"wav", ".wav"}}
                    .value(kind);
            const bool exact = qstrcmp(kind, resampled) != 0;
            QTest::addRow("%s", kind) << "formats/tone-" + QString(kind) + suffix << QString() << false
                                      << (exact ? 0.0 : 0.01) << qint64(exact ? 0 : 2) << 0.0;
            QTest::addRow("%s gapless", kind)
                << "formats/gapless-" + QString(kind) + "-first" + suffix
                << "formats/gapless-" + QString(kind) + "-second" + suffix << false << (exact ? 0.0 : 0.01)
                << qint64(exact ? 0 : 2) << (exact ? 0.2 : 1.1);
        }
        QTest::newRow("96 kHz") << "formats/tone-flac-96k.flac" << QString() << false << 0.01 << qint64(2)
                                << 0.0;
        QTest::newRow("mono") << "formats/tone-vorbis-mono.ogg" << QString() << true << 0.0 << qint64(0)
                              << 0.0;
        QTest::newRow("FLAC behind an ID3v2 tag")
            << "formats/tone-flac-behind-id3.flac" << QString() << false << 0.0 << qint64(0) << 0.0;
        QTest::newRow("5.1 mixed down")
            << "formats/tone-flac-5.1.flac" << QString() << false << 0.0 << qint64(0) << 0.0;
    }

    void everyFormatPlaysAsFfmpegDecodesIt()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, mono);
        QFETCH(double, relativeError);
        QFETCH(qint64, lengthError);
        QFETCH(double, seamError);
        QVERIFY(startCapture());
        EndReceiver receiver;
        AllBase firstSong(fixture(first), songEndSync, &receiver);
        QVERIFY(firstSong.play());
        std::unique_ptr<AllBase> secondSong;
        if (!second.isEmpty()) {
            secondSong = std::make_unique<AllBase>(fixture(second), songEndSync, &receiver);
            QVERIFY(secondSong->prepare());
            QVERIFY(firstSong.handOverTo(secondSong.get()));
        }
        awaitEnds(receiver, second.isEmpty() ? 1 : 2);

        const Samples capture = finishCapture();
        // The tones' lengths: three seconds, or four cut at frame 90001.
        const bool mp4 = first.endsWith(QLatin1String(".m4a"));
        Samples reference = mp4 ? decodeWithFfmpeg(fixture(first), mono, second.isEmpty() ? 3 * rate : 90001)
                                : decodeWithFfmpeg(fixture(first), mono);
        QVERIFY(frameCount(reference) > rate);
        if (!second.isEmpty()) {
            const Samples after = mp4 ? decodeWithFfmpeg(fixture(second), mono, 4 * rate - 90001)
                                      : decodeWithFfmpeg(fixture(second), mono);
            reference.insert(reference.end(), after.begin(), after.end());
        }
        const Deviation deviation = deviationFrom(capture, reference);
        const QString found =
            QStringLiteral("deviation %1, %2 frames more").arg(deviation.relative).arg(deviation.extraFrames);
        QVERIFY2(deviation.relative <= relativeError, qPrintable(found));
        QVERIFY2(std::abs(deviation.extraFrames) <= lengthError, qPrintable(found));

        if (second.isEmpty()) {
            // Measured as it plays: as loud as FFmpeg's decoding.
            ebur128_state* meter = ebur128_init(2, rate, EBUR128_MODE_I);
            ebur128_add_frames_short(meter, reference.data(), size_t(frameCount(reference)));
            double expected = 0;
            ebur128_loudness_global(meter, &expected);
            ebur128_destroy(&meter);
            const Loudness measured = measureLoudness(fixture(first));
            QVERIFY(measured.measured);
            QVERIFY2(
                std::abs(measured.integrated - expected) <= 0.5,
                qPrintable(QStringLiteral("%1 LUFS, FFmpeg's %2").arg(measured.integrated).arg(expected)));
            return;
        }
        // The halves are one tone of 523 Hz on the left cut at its frame 90001: its phase on either side of
        // the cut, away from the codecs' ringing at the edges, stays where it was.
        const qint64 cut = firstAudibleFrame(capture) - 1 + 90001;
        const qint64 window = rate / 2;
        const double before = tonePhase(capture, cut - 4096 - window, window, 523);
        const double after = tonePhase(capture, cut + 4096, window, 523);
        const double step = std::remainder(after - before, 2 * M_PI) / (2 * M_PI * 523 / rate);
        QVERIFY2(std::abs(step) < seamError, qPrintable(QStringLiteral("%1 frames off").arg(step)));
    }

    // A song armed to follow another starts in the sample after the other's last: the capture holds the
    // two decodings back to back, without a single frame of silence between them.
    void armedSongFollowsWithoutAGap()
    {
        QVERIFY(startCapture());
        EndReceiver receiver;
        AllBase first(fixture("audio-short.mp3"), songEndSync, &receiver);
        AllBase second(fixture("audio-44k-stereo.mp3"), songEndSync, &receiver);
        QVERIFY(first.play());
        QVERIFY(second.prepare());
        QVERIFY(!second.hasStarted());
        QVERIFY(first.handOverTo(&second));
        QVERIFY(waitForNotifications(receiver, 1));
        QVERIFY(second.hasStarted());
        // Too late to arm anything else behind the first song.
        QVERIFY(!first.handOverTo(nullptr));
        awaitEnds(receiver, 2);

        const QString difference = differenceFromBackToBack("audio-short.mp3", "audio-44k-stereo.mp3");
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void zerosBehindTheAudioCostNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("a gigabyte of zeros") << "audio-zero-tail.mp3";
        QTest::newRow("a gigabyte of zeros, then an ID3v1 tag") << "audio-zeros-then-tag.mp3";
    }

    // A song with a gigabyte of zeros behind its audio, as a preallocated download leaves it, is measured
    // and played like the audio alone, in a fraction of the time the zeros would take a byte at a time,
    // and the song armed behind it follows at once.
    void zerosBehindTheAudioCostNothing()
    {
        QFETCH(QString, file);
        QVERIFY(QFileInfo(fixture(file)).size() > (qint64(1) << 30));
        const std::clock_t cpuBefore = std::clock();
        const Loudness measured = measureLoudness(fixture(file));
        const Loudness original = measureLoudness(fixture("audio-short.mp3"));
        QVERIFY(measured.measured);
        QVERIFY(std::abs(measured.integrated - original.integrated) < 0.01);

        QVERIFY(startCapture());
        EndReceiver receiver;
        AllBase first(fixture(file), songEndSync, &receiver);
        AllBase second(fixture("audio-44k-stereo.mp3"), songEndSync, &receiver);
        QVERIFY(first.play());
        QVERIFY(second.prepare());
        QVERIFY(first.handOverTo(&second));
        awaitEnds(receiver, 2);
        const double cpuSeconds = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
        QVERIFY2(cpuSeconds < 2.0, qPrintable(QString::number(cpuSeconds)));

        const QString difference = differenceFromBackToBack("audio-short.mp3", "audio-44k-stereo.mp3");
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void loudAndQuietSongsPlayAtTheTarget_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("boostLimited"); // plays only the largest boost louder than it is
        QTest::addColumn<bool>("measuredLate"); // the gain comes a second after the song has started
        QTest::addColumn<int>("volume");        // the host's volume in %
        QTest::newRow("loud") << "loudness-loud.mp3" << false << false << 100;
        QTest::newRow("24 dB quieter") << "loudness-quiet.mp3" << false << false << 100;
        QTest::newRow("mono, as loud as it sounds on two channels")
            << "loudness-mono.mp3" << false << false << 100;
        QTest::newRow("near-silent hiss") << "loudness-hiss.mp3" << true << false << 100;
        QTest::newRow("measured after its start") << "loudness-quiet.mp3" << false << true << 100;
        QTest::newRow("24 dB quieter, at volume 50") << "loudness-quiet.mp3" << false << false << 50;
    }

    // A song measured ahead plays at -18 LUFS, whatever its own loudness, unless it is so quiet that it
    // would need more than the largest boost, and no sample clips; a measurement that comes while the song
    // plays brings the rest of it there. The host's volume lowers the evened song by its own factor: at
    // 50 % by 6 dB.
    void loudAndQuietSongsPlayAtTheTarget()
    {
        QFETCH(QString, file);
        QFETCH(bool, boostLimited);
        QFETCH(bool, measuredLate);
        QFETCH(int, volume);
        AudioEngine::instance().setVolume(volume);
        LoudnessCache loudness(true);
        loudness.measure(fixture(file));
        QTRY_VERIFY_WITH_TIMEOUT(!std::isnan(loudness.gainFor(fixture(file))), playbackTimeoutMs);
        QVERIFY(startCapture());
        Song song(file);
        if (!measuredLate)
            song.player.setGain(loudness.gainFor(fixture(file)));
        QVERIFY(song.player.play());
        if (measuredLate) {
            QVERIFY(waitForPosition(song.player.streamHandle(), rate));
            song.player.setGain(loudness.gainFor(fixture(file)));
        }
        awaitEnds(song.receiver, 1);

        Samples capture = finishCapture();
        // What was played last, after the late gain had come (in a second and a half of the three seconds).
        if (measuredLate) {
            const auto lastSound =
                std::find_if(capture.rbegin(), capture.rend(), [](qint16 s) { return s != 0; });
            const auto end = capture.end() - (lastSound - capture.rbegin());
            capture = Samples(end - std::min<qint64>(end - capture.begin(), 2 * rate * 6 / 5), end);
        }
        const double expected =
            (boostLimited ? measureLoudness(fixture(file)).integrated + largestBoost : loudnessTarget) +
            20 * std::log10(volume / 100.0);
        ebur128_state* meter = ebur128_init(2, rate, EBUR128_MODE_I);
        QVERIFY(meter);
        ebur128_add_frames_short(meter, capture.data(), size_t(frameCount(capture)));
        double played = 0;
        QCOMPARE(ebur128_loudness_global(meter, &played), int(EBUR128_SUCCESS));
        ebur128_destroy(&meter);
        QVERIFY2(std::abs(played - expected) <= 1.0, qPrintable(QStringLiteral("%1 LUFS").arg(played)));
        const auto clipped = std::count_if(capture.begin(), capture.end(),
                                           [](qint16 sample) { return sample == 32767 || sample == -32768; });
        QCOMPARE(clipped, 0);
    }

    // A gain that changes while a song plays moves a little each frame, so the change makes no click, and
    // stays where it arrives.
    void gainGlidesFrameByFrame()
    {
        constexpr size_t frames = 4096;
        FrameRing ring(frames);
        const std::vector<qint16> level(frames * FrameRing::channels, 8192);
        ring.write(level.data(), frames);
        std::vector<qint32> mix(frames * FrameRing::channels, 0);
        qint32 gain = FrameRing::unityGain;
        const qint32 target = 4 * FrameRing::unityGain;
        const qint32 step = (target - gain) / 2205; // 50 ms at 44.1 kHz
        QCOMPARE(ring.addRamped(mix.data(), frames, gain, target, step), frames);
        QCOMPARE(gain, target);
        for (size_t i = FrameRing::channels; i < mix.size(); ++i)
            QVERIFY2(mix[i] >= mix[i - FrameRing::channels] &&
                         mix[i] - mix[i - FrameRing::channels] <= qint32((qint64(8192) * step >> 16) + 1),
                     qPrintable(QString::number(i)));
        QCOMPARE(mix.back(), 4 * 8192);
    }

    // A song too long to be measured whole before it plays is measured from parts spread over all of it:
    // as loud as the whole, though its first minute is quiet.
    void longSongMeasuredFromItsPartsAsTheWhole()
    {
        const QString song = fixture("loudness-long.mp3");
        const Loudness sampled = measureLoudness(song);
        QVERIFY(sampled.measured);
        const double whole = wholeLoudness(song);
        QVERIFY2(std::abs(sampled.integrated - whole) <= 0.5,
                 qPrintable(QStringLiteral("%1 LUFS, whole %2 LUFS").arg(sampled.integrated).arg(whole)));
    }

    void unplayableFileNeverNotifies_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("deleted") << QByteArray();
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("not audio") << QByteArray("This is a text file, not a song.\n").repeated(200);
    }

    void unplayableFileNeverNotifies()
    {
        QFETCH(QByteArray, content);
        QVERIFY(startCapture());
        const QString path = captures.filePath(QStringLiteral("unplayable.mp3"));
        QVERIFY(QFile::copy(fixture("audio-short.mp3"), path));
        EndReceiver receiver;
        AllBase player(path, songEndSync, &receiver);
        QFile::remove(path);
        if (!content.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QVERIFY(!player.play());
        QCOMPARE(player.streamHandle(), 0u);
        QCOMPARE(AudioEngine::instance().streamCount(), 0);
        QVERIFY(!player.play());
        QVERIFY(!player.pause());
        player.close();
        verifyDelivery(receiver, 0);
        QFile::remove(path);
    }

    void neverPlayedSongHasNothingToControl()
    {
        QVERIFY(startCapture());
        Song song("audio-short.mp3");
        QVERIFY(!song.player.pause());
        QVERIFY(!song.player.stop());
        song.player.close();
        QCOMPARE(song.player.streamHandle(), 0u);
        QCOMPARE(AudioEngine::instance().streamCount(), 0);
        QCOMPARE(song.player.filePath(), fixture("audio-short.mp3"));
        verifyDelivery(song.receiver, 0);
    }

    void stopSilencesWithoutNotification()
    {
        QVERIFY(startCapture());
        Song song("audio-44k-stereo.mp3");
        QVERIFY(song.player.play());
        QVERIFY(waitForPosition(song.player.streamHandle(), rate / 4));
        QVERIFY(song.player.stop());
        verifyDelivery(song.receiver, 0);
        QCOMPARE(AudioEngine::instance().position(song.player.streamHandle()), qint64(-1));
        song.player.close();

        // What sounded is the song's beginning, and nothing after the stop.
        const Samples capture = finishCapture();
        const Samples reference = decodeWithMpg123(fixture("audio-44k-stereo.mp3"));
        const qint64 first = firstAudibleFrame(capture);
        const qint64 played = lastAudibleFrame(capture) - first + 1;
        QVERIFY(first >= 0);
        QVERIFY2(played >= rate / 4 && played < frameCount(reference) - rate / 2,
                 qPrintable(QString::number(played)));
        const qint64 offset = firstAudibleFrame(reference) - first;
        for (qint64 i = first; i < first + played; ++i)
            QVERIFY(sameFrame(capture, i, reference, i + offset));
    }

    void releasedPlayerPlaysOnToTheEnd_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("close") << false;
        QTest::newRow("destroy") << true;
    }

    // The stream keeps reading the file its player let go of, and still reports its end.
    void releasedPlayerPlaysOnToTheEnd()
    {
        QFETCH(bool, destroy);
        QVERIFY(startCapture());
        EndReceiver receiver;
        auto player = std::make_unique<AllBase>(fixture("audio-short.mp3"), songEndSync, &receiver);
        QVERIFY(player->play());
        QVERIFY(waitForPosition(player->streamHandle(), rate / 10));
        if (destroy) {
            player.reset();
        } else {
            player->close();
            QCOMPARE(player->streamHandle(), 0u);
            QVERIFY(!player->pause());
        }
        awaitEnds(receiver, 1);

        const QString difference = differenceFromDecoder("audio-short.mp3", 0);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void freeEndsPlayingStreamsQuietlyAndInitWorksAgain()
    {
        QVERIFY(startCapture());
        Song song("audio-short.mp3");
        QVERIFY(song.player.play());
        const quint32 firstStream = song.player.streamHandle();
        QVERIFY(waitForPosition(firstStream, rate / 10));
        backend.free();
        QVERIFY(!backend.isInitialized());
        QCOMPARE(AudioEngine::instance().streamCount(), 0);
        QVERIFY(!AudioEngine::instance().isOpen());
        verifyDelivery(song.receiver, 0);
        song.player.close();

        QVERIFY(startCapture());
        QVERIFY(song.player.play());
        QVERIFY(song.player.streamHandle() != firstStream);
        awaitEnds(song.receiver, 1);
    }

    void removedDeviceEndsTheSongAndTheNextPlaysOnTheDefaultDevice()
    {
        QVERIFY(startCapture());
        Song interrupted(QStringLiteral("audio-44k-stereo.mp3"));
        Song next(QStringLiteral("audio-short.mp3"));
        QVERIFY(interrupted.player.play());
        QVERIFY(waitForPosition(interrupted.player.streamHandle(), rate / 4));

        AudioEngine::instance().injectDeviceRemovalForTesting();
        // The song that was playing ends the way every song ends, so a queue goes on with its next one.
        awaitEnds(interrupted.receiver, 1);
        QVERIFY(logged(QStringLiteral("The sound device was removed.")));
        QVERIFY(waitForDevice());
        QVERIFY(logged(QStringLiteral("The default sound device was opened again.")));

        // The device opened again is a new capture file: it holds the next song whole, and nothing else.
        QVERIFY(next.player.play());
        awaitEnds(next.receiver, 1);
        QCOMPARE(differenceFromDecoder(QStringLiteral("audio-short.mp3"), 0), QString());
    }

    void withoutADeviceTheEngineKeepsTryingUntilOneOpens()
    {
        // The disk driver's device is its file. While the file's folder is a plain file, no device opens.
        QTemporaryDir place;
        const QString folder = place.filePath(QStringLiteral("device"));
        QVERIFY(QDir().mkdir(folder));
        capturePath = folder + QStringLiteral("/capture.raw");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(capturePath));
        QVERIFY(backend.init(0));
        QVERIFY(AudioEngine::instance().hasDevice());

        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        AudioEngine::instance().injectDeviceRemovalForTesting();
        QVERIFY(QTest::qWaitFor(
            [] { return logged(QStringLiteral("Vimo keeps trying to open the default sound device.")); },
            playbackTimeoutMs));
        QVERIFY(!AudioEngine::instance().hasDevice());

        // A song started meanwhile waits, silent and unfinished, while the event loop goes on; passing
        // time is what is tested here.
        Song waiting(QStringLiteral("audio-short.mp3"));
        QVERIFY(waiting.player.play());
        QTest::qWait(3 * AudioEngine::deviceRetryMilliseconds);
        QVERIFY(!AudioEngine::instance().hasDevice());
        QCOMPARE(AudioEngine::instance().position(waiting.player.streamHandle()), qint64(0));
        QCOMPARE(waiting.receiver.deliveredOn.size(), 0);

        // The device comes back: the waiting song plays whole on it, and its end is reported.
        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(waitForDevice());
        awaitEnds(waiting.receiver, 1);
        QCOMPARE(differenceFromDecoder(QStringLiteral("audio-short.mp3"), 0), QString());
    }

    void initFailureIsLogged_data()
    {
        QTest::addColumn<QByteArray>("driver");
        QTest::addColumn<QString>("captureFile");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unknown driver")
            << QByteArray("no-such-driver") << QString() << "The audio system could not be started: ";
        QTest::newRow("unwritable capture") << QByteArray("disk") << "/nonexistent-folder/capture.raw"
                                            << "The audio device could not be opened: ";
    }

    void initFailureIsLogged()
    {
        QFETCH(QByteArray, driver);
        QFETCH(QString, captureFile);
        QFETCH(QString, expected);
        qputenv("SDL_AUDIODRIVER", driver);
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(captureFile));
        AllBaseBackend failing;
        QVERIFY(!failing.init(0));
        QVERIFY(!failing.isInitialized());
        QVERIFY(!AudioEngine::instance().isOpen());
        failing.free();

        const QStringList lines = vimotest::readTextFile(logFilePath()).split(QLatin1Char('\n'));
        const auto line = std::find_if(lines.crbegin(), lines.crend(),
                                       [&](const QString& text) { return text.contains(expected); });
        QVERIFY2(line != lines.crend(), qPrintable(lines.join(QLatin1Char('\n'))));
        // SDL's own explanation follows.
        QVERIFY2(line->section(expected, 1).trimmed().size() > 5, qPrintable(*line));
        if (driver != "disk")
            QVERIFY2(line->contains(QString::fromLatin1(driver)), qPrintable(*line));

        qputenv("SDL_AUDIODRIVER", "disk");
        QVERIFY(startCapture());
    }
};

VIMO_TEST_MAIN(TestAudio)
#include "tst_audio.moc"
