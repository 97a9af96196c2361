// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>

// Decoded stereo frames on their way from one update thread (the only writer) to the device callback (the
// only reader). Neither side waits for the other: `written` is stored with release by the writer and
// loaded with acquire by the reader, `consumed` the other way round, so each side sees the samples the
// other has finished with.
class FrameRing
{
public:
    static constexpr size_t channels = 2;

    // The samples are left uninitialised: only written frames are ever read, and clearing five seconds of
    // audio would cost the GUI thread, which creates the streams, time at every change of song.
    explicit FrameRing(size_t frames);

    size_t readable() const;
    size_t writable() const;

    // Writer side: `frames` must not exceed writable().
    void write(const qint16* source, size_t frames);
    // Reader side: adds up to `frames` frames onto `mix`, scaled by `gain` (65536 = unchanged), and
    // consumes them; returns how many.
    static constexpr qint32 unityGain = 65536;
    size_t addInto(qint32* mix, size_t frames, qint32 gain = unityGain);
    // Like addInto(), with the gain moving by `step` a frame from `gain` to `target`, where it stays;
    // `gain` is left where the last frame had it.
    size_t addRamped(qint32* mix, size_t frames, qint32& gain, qint32 target, qint32 step);

private:
    // Calls `span`(ring index, frames, frames done before) for the one or two pieces of a range.
    template <typename Span> void forSpans(quint64 start, size_t frames, Span span) const
    {
        const size_t at = size_t(start % capacity);
        const size_t first = std::min(frames, capacity - at);
        span(at, first, size_t(0));
        if (first < frames)
            span(size_t(0), frames - first, first);
    }

    const std::unique_ptr<qint16[]> samples;
    const size_t capacity;
    std::atomic<quint64> written{0};
    std::atomic<quint64> consumed{0};
};
