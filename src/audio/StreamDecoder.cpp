// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/StreamDecoder.h"

#include "audio/AvDecoder.h"
#include "audio/FrameRing.h"
#include "audio/Loudness.h"

#include <SDL.h>
#include <algorithm>
#include <mpg123.h>

namespace {

// mpg123_read() answering "fine, nothing" this often in a row means the decoder is stuck.
constexpr int maximumEmptyReads = 100;

} // namespace

StreamDecoder::StreamDecoder(const FileProcedures& fileProcedures, void* fileUser)
    : procedures(fileProcedures), user(fileUser), input(fileProcedures, fileUser)
{}

StreamDecoder::~StreamDecoder()
{
    close();
}

bool StreamDecoder::open()
{
    if (!AvDecoder::takes(procedures, user))
        return openMpeg();
    otherFormat = std::make_unique<AvDecoder>(procedures, user, deviceoutput::sampleRate);
    if (otherFormat->open() && configureConverterFor(otherFormat->sampleRate(), AvDecoder::channels)) {
        QString gain;
        QString peak;
        otherFormat->replayGainTexts(&gain, &peak);
        hasTagGain = replayGainFromTexts(gain, peak, &tagGainDecibels);
        return true;
    }
    // Closing the decoder calls the close procedure.
    close();
    return false;
}

bool StreamDecoder::openMpeg()
{
    decoder = mpg123_new(nullptr, nullptr);
    if (!decoder) {
        procedures.close(user);
        return false;
    }
    // Accept whatever rate and channel count the file has; the converter takes it from there.
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(decoder);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(decoder, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    const bool opened = input.open(decoder) && configureConverter();
    if (!opened) {
        close();
        // Whether libmpg123 took the file over before failing is its business; closing twice is harmless.
        procedures.close(user);
        return false;
    }
    MpegInput::searchPastDamage(decoder);
    hasTagGain = replayGainFromTag(decoder, &tagGainDecibels);
    return true;
}

bool StreamDecoder::tagGain(double* decibels) const
{
    *decibels = tagGainDecibels;
    return hasTagGain;
}

void StreamDecoder::close()
{
    mpg123_delete(decoder);
    decoder = nullptr;
    otherFormat.reset();
    SDL_FreeAudioStream(converter);
    converter = nullptr;
}

void StreamDecoder::appendConverted(const void* data, size_t bytes)
{
    const auto* samples = static_cast<const qint16*>(data);
    converted.insert(converted.end(), samples, samples + bytes / sizeof(qint16));
}

// Moves what the converter has ready behind the frames waiting for the ring.
void StreamDecoder::drainConverter()
{
    const int bytes = SDL_AudioStreamAvailable(converter);
    if (bytes <= 0)
        return;
    const size_t oldSize = converted.size();
    converted.resize(oldSize + size_t(bytes) / sizeof(qint16));
    const int got = std::max(SDL_AudioStreamGet(converter, converted.data() + oldSize, bytes), 0);
    converted.resize(oldSize + size_t(got) / sizeof(qint16));
    converterFramesOut += quint64(got) / (sizeof(qint16) * FrameRing::channels);
}

// Takes the rest out of the converter and drops it.
void StreamDecoder::finishConverter()
{
    if (!converter)
        return;
    // SDL's resampler holds back the end of its input even when flushed. Silence behind the end pushes it
    // out; cutting the output to the exact converted length removes the silence again.
    const std::vector<qint16> silence(size_t(converterRate / 4 * converterChannels), 0);
    SDL_AudioStreamPut(converter, silence.data(), int(silence.size() * sizeof(qint16)));
    SDL_AudioStreamFlush(converter);
    drainConverter();
    const quint64 rate = quint64(converterRate);
    const quint64 exact = (converterFramesIn * deviceoutput::sampleRate + rate / 2) / rate;
    const size_t waiting = (converted.size() - convertedOffset) / FrameRing::channels;
    const size_t excess =
        size_t(std::min<quint64>(converterFramesOut - std::min(exact, converterFramesOut), waiting));
    converted.resize(converted.size() - excess * FrameRing::channels);
    SDL_FreeAudioStream(converter);
    converter = nullptr;
}

// Prepares the conversion from the decoder's present output to the device's rate and channels.
bool StreamDecoder::configureConverter()
{
    long rate = 0;
    int channelCount = 0;
    int encoding = 0;
    if (mpg123_getformat(decoder, &rate, &channelCount, &encoding) != MPG123_OK)
        return false;
    return configureConverterFor(int(rate), channelCount);
}

bool StreamDecoder::configureConverterFor(int rate, int channelCount)
{
    finishConverter();
    if (rate == deviceoutput::sampleRate && channelCount == deviceoutput::channels)
        return true;
    converter = SDL_NewAudioStream(AUDIO_S16SYS, Uint8(channelCount), int(rate), AUDIO_S16SYS,
                                   deviceoutput::channels, deviceoutput::sampleRate);
    converterRate = rate;
    converterChannels = channelCount;
    converterFramesIn = 0;
    converterFramesOut = 0;
    return converter != nullptr;
}

void StreamDecoder::takeDecoded(const unsigned char* data, size_t bytes)
{
    if (bytes == 0)
        return;
    if (!converter) {
        appendConverted(data, bytes);
        return;
    }
    SDL_AudioStreamPut(converter, data, int(bytes));
    converterFramesIn += bytes / (sizeof(qint16) * size_t(converterChannels));
    drainConverter();
}

bool StreamDecoder::moveConverted(FrameRing& ring, std::atomic<bool>& primed, size_t primeFrames)
{
    if (convertedOffset >= converted.size())
        return true;
    const size_t waiting = (converted.size() - convertedOffset) / FrameRing::channels;
    const size_t frames = std::min(waiting, ring.writable());
    ring.write(converted.data() + convertedOffset, frames);
    convertedOffset += frames * FrameRing::channels;
    if (ring.readable() >= primeFrames)
        primed.store(true);
    if (frames < waiting)
        return false;
    converted.clear();
    convertedOffset = 0;
    return true;
}

bool StreamDecoder::fill(FrameRing& ring, std::vector<unsigned char>& scratch, std::atomic<bool>& primed,
                         size_t primeFrames)
{
    for (;;) {
        if (!moveConverted(ring, primed, primeFrames))
            return false;
        if (finished) {
            primed.store(true);
            return true;
        }
        if (ring.writable() == 0)
            return false;
        if (!decodeNext(scratch)) {
            // The end, or damage the decoder cannot get past: what was decoded still plays.
            finishConverter();
            finished = true;
        }
    }
}

bool StreamDecoder::decodeNext(std::vector<unsigned char>& scratch)
{
    if (otherFormat) {
        otherFrames.clear();
        if (!otherFormat->decode(otherFrames))
            return false;
        takeDecoded(reinterpret_cast<const unsigned char*>(otherFrames.data()),
                    otherFrames.size() * sizeof(qint16));
        return true;
    }
    size_t done = 0;
    const int result = mpg123_read(decoder, scratch.data(), scratch.size(), &done);
    takeDecoded(scratch.data(), done);
    emptyReads = (result == MPG123_OK && done == 0) ? emptyReads + 1 : 0;
    if (result == MPG123_NEW_FORMAT)
        return configureConverter();
    return result == MPG123_OK && emptyReads <= maximumEmptyReads;
}
