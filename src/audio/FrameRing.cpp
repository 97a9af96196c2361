// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/FrameRing.h"

FrameRing::FrameRing(size_t frames) : samples(new qint16[frames * channels]), capacity(frames) {}

size_t FrameRing::readable() const
{
    return size_t(written.load(std::memory_order_acquire) - consumed.load(std::memory_order_relaxed));
}

size_t FrameRing::writable() const
{
    return capacity -
           size_t(written.load(std::memory_order_relaxed) - consumed.load(std::memory_order_acquire));
}

void FrameRing::write(const qint16* source, size_t frames)
{
    const quint64 start = written.load(std::memory_order_relaxed);
    forSpans(start, frames, [&](size_t at, size_t count, size_t done) {
        std::copy_n(source + done * channels, count * channels, samples.get() + at * channels);
    });
    written.store(start + frames, std::memory_order_release);
}

size_t FrameRing::addInto(qint32* mix, size_t frames, qint32 gain)
{
    const size_t count = std::min(frames, readable());
    const quint64 start = consumed.load(std::memory_order_relaxed);
    forSpans(start, count, [&](size_t at, size_t spanFrames, size_t done) {
        const qint16* from = samples.get() + at * channels;
        qint32* to = mix + done * channels;
        if (gain == unityGain) {
            for (size_t i = 0; i < spanFrames * channels; ++i)
                to[i] += from[i];
        } else {
            for (size_t i = 0; i < spanFrames * channels; ++i)
                to[i] += qint32((qint64(from[i]) * gain) >> 16);
        }
    });
    consumed.store(start + count, std::memory_order_release);
    return count;
}

size_t FrameRing::addRamped(qint32* mix, size_t frames, qint32& gain, qint32 target, qint32 step)
{
    const size_t count = std::min(frames, readable());
    const quint64 start = consumed.load(std::memory_order_relaxed);
    forSpans(start, count, [&](size_t at, size_t spanFrames, size_t done) {
        const qint16* from = samples.get() + at * channels;
        qint32* to = mix + done * channels;
        for (size_t frame = 0; frame < spanFrames; ++frame) {
            gain = gain < target ? std::min(gain + step, target) : std::max(gain - step, target);
            for (size_t channel = 0; channel < channels; ++channel) {
                const size_t i = frame * channels + channel;
                to[i] += qint32((qint64(from[i]) * gain) >> 16);
            }
        }
    });
    consumed.store(start + count, std::memory_order_release);
    return count;
}
