// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// What the audio engine shares with its parts (the stream decoder, the device keeper), apart from the
// engine itself, so that a part never needs the engine's header.

// How a stream reads its file. Each procedure receives the user value given to createStream().
// They run on the engine's threads, one at a time per stream.
struct FileProcedures
{
    void (*close)(void* user) = nullptr;
    quint64 (*length)(void* user) = nullptr;
    // Bytes read into `buffer`, 0 at the end or on an error.
    quint32 (*read)(void* buffer, quint32 length, void* user) = nullptr;
    // Moves the read position to `offset` bytes from the start.
    bool (*seek)(quint64 offset, void* user) = nullptr;
    // Where data starts again at or after `offset` when a hole of the file (which reads as zeros) lies
    // there, else `offset`; may be left out.
    quint64 (*dataFrom)(quint64 offset, void* user) = nullptr;
};

// What the output device plays: interleaved signed 16-bit samples in the machine's byte order.
struct DeviceFormat
{
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
};

namespace deviceoutput {
// The one format the mix and the device have: every stream is converted to it.
constexpr int sampleRate = 44100;
constexpr int channels = 2;
// While no device opens, how long the keeper waits before it tries again.
constexpr int retryMilliseconds = 500;
} // namespace deviceoutput
