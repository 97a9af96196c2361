// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/Loudness.h"

#include "audio/AvDecoder.h"
#include "audio/MpegInput.h"

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <ebur128.h>
#include <fcntl.h>
#include <memory>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

double limitedGain(double gain, double truePeak)
{
    gain = std::min(gain, largestBoost);
    if (truePeak <= 0)
        return gain;
    return std::min(gain, truePeakCeiling - 20 * std::log10(truePeak));
}

// Adds what the decoder gives to the meter: `frames` frames, or all up to the end when negative. False at
// the end of the song or on an error.
bool addFrames(mpg123_handle* decoder, ebur128_state* meter, int channels, std::vector<short>& buffer,
               qint64 frames)
{
    const size_t frameBytes = sizeof(short) * size_t(channels);
    for (qint64 left = frames; frames < 0 || left > 0;) {
        size_t wanted = buffer.size() * sizeof(short);
        if (frames >= 0)
            wanted = std::min(wanted, size_t(left) * frameBytes);
        size_t done = 0;
        const int result = mpg123_read(decoder, buffer.data(), wanted, &done);
        ebur128_add_frames_short(meter, buffer.data(), done / frameBytes);
        left -= qint64(done / frameBytes);
        if (result != MPG123_OK)
            return false;
    }
    return true;
}

// Adds a song of `total` frames to the meter through `add(frames)` (negative: all up to the end, false at
// the end or on an error): a long song from windows spread evenly over it, each reached by `seek(frame)`
// without decoding what comes before it.
template <typename Seek, typename Add> void addSong(qint64 total, long rate, const Seek& seek, const Add& add)
{
    if (total <= qint64(longestWholeMeasurement * double(rate))) {
        add(-1);
        return;
    }
    constexpr int windows = 24;
    const qint64 windowFrames = qint64(sampledSeconds * double(rate)) / windows;
    for (int window = 0; window < windows; ++window) {
        const qint64 middle = total * (2 * window + 1) / (qint64(2) * windows);
        if (!seek(std::max<qint64>(0, middle - windowFrames / 2)) || !add(windowFrames))
            return;
    }
}

using Meter = std::unique_ptr<ebur128_state, void (*)(ebur128_state*)>;

Meter makeMeter(int channels, long rate)
{
    Meter meter(ebur128_init(unsigned(channels), static_cast<unsigned long>(rate),
                             EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK),
                [](ebur128_state* state) { ebur128_destroy(&state); });
    // A mono song plays on both channels alike, which sounds 3 LU louder than the one channel alone.
    if (meter && channels == 1 && ebur128_set_channel(meter.get(), 0, EBUR128_DUAL_MONO) != EBUR128_SUCCESS)
        meter.reset();
    return meter;
}

Loudness readMeter(ebur128_state* meter, int channels, const std::atomic<bool>* cancelled)
{
    Loudness loudness;
    if (cancelled && cancelled->load())
        return loudness;
    double integrated = 0;
    if (ebur128_loudness_global(meter, &integrated) != EBUR128_SUCCESS || !std::isfinite(integrated))
        return loudness;
    double peak = 0;
    for (int channel = 0; channel < channels; ++channel) {
        double channelPeak = 0;
        if (ebur128_true_peak(meter, unsigned(channel), &channelPeak) == EBUR128_SUCCESS)
            peak = std::max(peak, channelPeak);
    }
    loudness.integrated = integrated;
    loudness.truePeak = peak;
    loudness.measured = true;
    return loudness;
}

// The number at the start of a ReplayGain text such as "-3.21 dB" or "0.988".
bool leadingNumber(const QString& text, double* value)
{
    static const QRegularExpression number(QStringLiteral("^\\s*([-+]?[0-9]*\\.?[0-9]+)"));
    const QRegularExpressionMatch match = number.match(text);
    bool ok = false;
    *value = match.hasMatch() ? match.captured(1).toDouble(&ok) : 0;
    return ok;
}

QString mpg123Text(const mpg123_string& text)
{
    return text.p && text.fill > 0 ? QString::fromUtf8(text.p, int(text.fill) - 1) : QString();
}

// The file procedures over a plain file's descriptor, for the decoder's input.
FileProcedures descriptorProcedures()
{
    FileProcedures procedures;
    // The descriptor is closed by whoever opened it.
    procedures.close = [](void*) {};
    procedures.length = [](void* user) -> quint64 {
        struct stat status = {};
        return ::fstat(*static_cast<int*>(user), &status) == 0 ? quint64(status.st_size) : 0;
    };
    procedures.read = [](void* buffer, quint32 length, void* user) -> quint32 {
        const ssize_t got = ::read(*static_cast<int*>(user), buffer, length);
        return got > 0 ? quint32(got) : 0;
    };
    procedures.seek = [](quint64 offset, void* user) {
        return ::lseek(*static_cast<int*>(user), off_t(offset), SEEK_SET) == off_t(offset);
    };
    procedures.dataFrom = [](quint64 offset, void* user) {
        return MpegInput::dataFrom(*static_cast<int*>(user), offset);
    };
    return procedures;
}

Loudness measureMpeg(int* descriptor, const std::atomic<bool>* cancelled)
{
    // Declared before the decoder, which reads through it until it is deleted.
    MpegInput input(descriptorProcedures(), descriptor, cancelled);
    const std::unique_ptr<mpg123_handle, decltype(&mpg123_delete)> decoder(mpg123_new(nullptr, nullptr),
                                                                           &mpg123_delete);
    if (!decoder)
        return Loudness();
    mpg123_param(decoder.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(decoder.get());
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(decoder.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (!input.open(decoder.get()) ||
        mpg123_getformat(decoder.get(), &rate, &channels, &encoding) != MPG123_OK)
        return Loudness();
    MpegInput::searchPastDamage(decoder.get());
    // The format stays as it is: a song that changes it midway is measured in its first format.
    mpg123_format_none(decoder.get());
    mpg123_format(decoder.get(), rate, channels, MPG123_ENC_SIGNED_16);
    const Meter meter = makeMeter(channels, rate);
    if (!meter)
        return Loudness();
    std::vector<short> buffer(16384);
    addSong(
        mpg123_length(decoder.get()), rate,
        [&](qint64 frame) { return mpg123_seek(decoder.get(), off_t(frame), SEEK_SET) >= 0; },
        [&](qint64 frames) { return addFrames(decoder.get(), meter.get(), channels, buffer, frames); });
    return readMeter(meter.get(), channels, cancelled);
}

// A song in another format than MP3, measured as it plays: mixed down to stereo where it has more channels.
Loudness measureOtherFormat(int* descriptor, const std::atomic<bool>* cancelled)
{
    // At the song's own rate: its loudness is the same, and measuring costs no resampling.
    AvDecoder decoder(descriptorProcedures(), descriptor, 0, cancelled);
    if (!decoder.open())
        return Loudness();
    const int channels = AvDecoder::channels;
    const Meter meter = makeMeter(channels, decoder.sampleRate());
    if (!meter)
        return Loudness();
    std::vector<qint16> buffer;
    addSong(
        decoder.statedFrames(), decoder.sampleRate(), [&](qint64 frame) { return decoder.seek(frame); },
        [&](qint64 frames) {
            for (qint64 left = frames; frames < 0 || left > 0;) {
                buffer.clear();
                if (!decoder.decode(buffer))
                    return false;
                auto got = qint64(buffer.size()) / channels;
                if (frames >= 0)
                    got = std::min(got, left);
                ebur128_add_frames_short(meter.get(), buffer.data(), size_t(got));
                left -= got;
            }
            return true;
        });
    return readMeter(meter.get(), channels, cancelled);
}

} // namespace

Loudness measureLoudness(const QString& path, const std::atomic<bool>* cancelled)
{
    Loudness loudness;
    // Only a plain file: a FIFO put in a song's place would hold the pool thread until someone writes to it.
    int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return loudness;
    const auto closeDescriptor = qScopeGuard([descriptor] { ::close(descriptor); });
    struct stat status = {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
        ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0)
        return loudness;
    if (AvDecoder::takes(descriptorProcedures(), &descriptor))
        return measureOtherFormat(&descriptor, cancelled);
    return measureMpeg(&descriptor, cancelled);
}

double normalizingGain(const Loudness& loudness)
{
    return limitedGain(loudnessTarget - loudness.integrated, loudness.truePeak);
}

bool replayGainFromTag(mpg123_handle_struct* decoder, double* decibels)
{
    mpg123_id3v1* version1 = nullptr;
    mpg123_id3v2* version2 = nullptr;
    if (mpg123_id3(decoder, &version1, &version2) != MPG123_OK || !version2)
        return false;
    QString gain;
    QString peak;
    for (size_t i = 0; i < version2->extras; ++i) {
        const mpg123_text& extra = version2->extra[i];
        const QString name =
            extra.description.p ? QString::fromUtf8(extra.description.p).toLower() : QString();
        if (name == QLatin1String("replaygain_track_gain"))
            gain = mpg123Text(extra.text);
        else if (name == QLatin1String("replaygain_track_peak"))
            peak = mpg123Text(extra.text);
    }
    return replayGainFromTexts(gain, peak, decibels);
}

bool replayGainFromTexts(const QString& gain, const QString& peak, double* decibels)
{
    if (!leadingNumber(gain, decibels))
        return false;
    double peakValue = 0;
    leadingNumber(peak, &peakValue);
    *decibels = limitedGain(*decibels, peakValue);
    return true;
}
