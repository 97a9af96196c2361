// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioTypes.h"
#include "audio/Foreigner.h"

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

class QFile;

// The process's audio output: one SDL device at 44100 Hz stereo that mixes any number of MP3 streams.
// Each stream is decoded by libmpg123 from its file procedures, converted to the device's rate and
// channels, and kept up to five seconds ahead by two update threads, so a busy GUI thread or a slow disk
// does not make the music stutter. The device callback only mixes what is ready; it never waits and
// never allocates. While no stream is playing the device is paused, so an idle engine costs nothing.
//
// Streams are named by 32-bit handles (0 = none) that are never reused. A stream frees itself when it
// has played to its end (after calling its end procedure, once, on an update thread) or when it is
// stopped. Every operation may be called from any thread; operations on a freed stream fail.
class AudioEngine
{
public:
    static constexpr int sampleRate = deviceoutput::sampleRate;
    static constexpr int channels = deviceoutput::channels;
    // Decoded audio kept ahead per stream, and how often the update threads top it up. Anything else a
    // stream needs (its start, its stop, its end) wakes them at once.
    static constexpr int bufferMilliseconds = 5000;
    // How long a playing stream takes to reach a new gain.
    static constexpr int rampMilliseconds = 50;
    static constexpr int refillMilliseconds = 250;
    static constexpr int updateThreadCount = 2;
    // Streams that may exist at once; the queue needs one, a few more cost nothing.
    static constexpr int maximumStreams = 64;

    static AudioEngine& instance();
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // Why the loaded SDL2 or libmpg123 cannot serve, or "" when both can.
    static QString libraryVersionProblem();
    // Why an SDL of this version cannot serve, or "".
    static QString sdlVersionProblem(int major, int minor, int patch);

    // Opens the default output device and starts the update threads. On failure `failure` receives a
    // line naming what failed, with SDL's own explanation. Opening an open engine succeeds at once.
    bool open(QString* failure);
    // Stops the threads, closes the device and frees every stream without calling end procedures.
    void close();
    bool isOpen() const;

    // Whether an output device takes the mix now. When SDL reports the open device removed, the engine
    // logs it, ends the streams that were playing (their end procedures run, so a queue goes on with
    // its next song), closes the device and opens the default device again; while none opens it keeps
    // trying every deviceRetryMilliseconds, and streams started meanwhile wait, silent, for it.
    bool hasDevice() const;
    static constexpr int deviceRetryMilliseconds = deviceoutput::retryMilliseconds;
    // Sends SDL the event it sends itself when the open device disappears, for tests: the engine cannot
    // tell it from a real removal. Test hook only; the program never calls it.
    void injectDeviceRemovalForTesting();
    // Who hears of the device going away and of a device opened again in its place. Both are called on
    // the engine's own thread that keeps the device, `lost` after the streams that were playing have
    // been ended; what a listener does with the news reaches another thread only by its own queued means.
    // Replaces the listener before; an empty one hears nothing.
    struct DeviceListener
    {
        std::function<void()> lost;
        std::function<void()> back;
    };
    void setDeviceListener(DeviceListener listener);

    DeviceFormat deviceFormat() const;
    // Frames the engine has mixed for the device since it was opened. While no stream plays the device is
    // paused (SDL plays silence by itself) and the count stands still.
    quint64 deviceFrames() const;

    // A new stream over the file behind `procedures`, paused at its start, or 0 when the engine is not
    // open, the file holds no MPEG audio or too many streams exist. On failure the close procedure
    // has been called.
    quint32 createStream(const FileProcedures& procedures, void* user);
    // Calls `procedure`(sync handle, stream, 0, `user`) once, from an update thread, after the stream's
    // last sample has gone to the device. Returns the sync handle, 0 when the stream is gone.
    quint32 setEndSync(quint32 stream, SyncProc procedure, void* user);
    // Starts or resumes the stream; true when it is playing now.
    bool play(quint32 stream);
    // Arms `follower`, a stream created but never started, to start in the very frame after `stream`'s
    // last, inside the same device period, so the two join without a sample between them; 0 disarms.
    // Arming again replaces what was armed. The mixer's switch is atomic: false means `stream` is gone or
    // has already played out and handed over to whatever was armed then (or to nothing), true that
    // `follower` is what starts, unless it is stopped or armed away first.
    bool setFollower(quint32 stream, quint32 follower);
    // Plays the stream `decibels` louder (or quieter): from its first sample when it has not started, else
    // glided to within rampMilliseconds, so a measurement that comes late is heard without a click. False
    // when the stream is gone.
    bool setGain(quint32 stream, double decibels);
    // Whether a new stream plays at the ReplayGain track gain its tag carries until setGain() says better.
    void setReplayGainUsed(bool used);
    // The host's volume, 0 to 100 % of the amplitude, over the whole mix after every stream's gain: songs
    // evened by their gains stay even. A change glides within rampMilliseconds, like a stream's gain.
    void setVolume(int percent);
    int volume() const;
    // Frees a stream that was never started, without calling its end procedure; false when it has started
    // (by play() or a hand-over) or is gone.
    bool discardUnstarted(quint32 stream);
    // Whether the stream exists and has never been started.
    bool isUnstarted(quint32 stream) const;
    // Holds the stream where it is; false when it is not playing.
    bool pause(quint32 stream);
    // Silences the stream at once and frees it, without calling its end procedure.
    bool stop(quint32 stream);
    // Hands `file` to a living stream, which deletes it once it has been freed, so the stream may go
    // on reading after its owner let go. False when the stream is gone: the caller keeps the file.
    bool adoptFile(quint32 stream, QFile* file);

    // Frames of the stream handed to the device so far, or -1 when the stream is gone.
    qint64 position(quint32 stream) const;
    int streamCount() const;

private:
    AudioEngine();

    struct State;
    std::unique_ptr<State> d;
};
