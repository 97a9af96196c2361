// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/Loudness.h"

#include "audio/MpegInput.h"

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <cmath>
#include <ebur128.h>
#include <fcntl.h>
#include <memory>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

double peakLimited(double gain, double truePeak)
{
    if (truePeak <= 0)
        return gain;
    return std::min(gain, truePeakCeiling - 20 * std::log10(truePeak));
}

// The number at the start of a ReplayGain text such as "-3.21 dB" or "0.988".
bool leadingNumber(const mpg123_string* text, double* value)
{
    if (!text || !text->p || text->fill == 0)
        return false;
    static const QRegularExpression number(QStringLiteral("^\\s*([-+]?[0-9]*\\.?[0-9]+)"));
    const QRegularExpressionMatch match = number.match(QString::fromUtf8(text->p, int(text->fill) - 1));
    bool ok = false;
    *value = match.hasMatch() ? match.captured(1).toDouble(&ok) : 0;
    return ok;
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
    // Declared before the decoder, which reads through it until it is deleted.
    MpegInput input(descriptorProcedures(), &descriptor, cancelled);
    const std::unique_ptr<mpg123_handle, decltype(&mpg123_delete)> decoder(mpg123_new(nullptr, nullptr),
                                                                           &mpg123_delete);
    if (!decoder)
        return loudness;
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
        return loudness;
    MpegInput::searchPastDamage(decoder.get());
    // The format stays as it is: a song that changes it midway is measured in its first format.
    mpg123_format_none(decoder.get());
    mpg123_format(decoder.get(), rate, channels, MPG123_ENC_SIGNED_16);
    const std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> meter(
        ebur128_init(unsigned(channels), static_cast<unsigned long>(rate),
                     EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK),
        [](ebur128_state* state) { ebur128_destroy(&state); });
    if (!meter)
        return loudness;
    std::vector<short> buffer(16384);
    for (;;) {
        size_t done = 0;
        const int result = mpg123_read(decoder.get(), buffer.data(), buffer.size() * sizeof(short), &done);
        ebur128_add_frames_short(meter.get(), buffer.data(), done / sizeof(short) / size_t(channels));
        if (result != MPG123_OK)
            break;
    }
    if (cancelled && cancelled->load())
        return loudness;
    double integrated = 0;
    if (ebur128_loudness_global(meter.get(), &integrated) != EBUR128_SUCCESS || !std::isfinite(integrated))
        return loudness;
    double peak = 0;
    for (int channel = 0; channel < channels; ++channel) {
        double channelPeak = 0;
        if (ebur128_true_peak(meter.get(), unsigned(channel), &channelPeak) == EBUR128_SUCCESS)
            peak = std::max(peak, channelPeak);
    }
    loudness.integrated = integrated;
    loudness.truePeak = peak;
    loudness.measured = true;
    return loudness;
}

double normalizingGain(const Loudness& loudness)
{
    return peakLimited(loudnessTarget - loudness.integrated, loudness.truePeak);
}

bool replayGainFromTag(mpg123_handle_struct* decoder, double* decibels)
{
    mpg123_id3v1* version1 = nullptr;
    mpg123_id3v2* version2 = nullptr;
    if (mpg123_id3(decoder, &version1, &version2) != MPG123_OK || !version2)
        return false;
    bool found = false;
    double peak = 0;
    for (size_t i = 0; i < version2->extras; ++i) {
        const mpg123_text& extra = version2->extra[i];
        const QString name =
            extra.description.p ? QString::fromUtf8(extra.description.p).toLower() : QString();
        if (name == QLatin1String("replaygain_track_gain"))
            found = leadingNumber(&extra.text, decibels);
        else if (name == QLatin1String("replaygain_track_peak"))
            leadingNumber(&extra.text, &peak);
    }
    if (found)
        *decibels = peakLimited(*decibels, peak);
    return found;
}
