// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioEngine.h"

#include "audio/DeviceKeeper.h"
#include "audio/FrameRing.h"
#include "audio/StreamDecoder.h"

#include <QCoreApplication>
#include <QFile>
#include <SDL.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <ctime>
#include <initializer_list>
#include <linux/futex.h>
#include <mpg123.h>
#include <mutex>
#include <pthread.h>
#include <semaphore.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

// Who touches what. Threads: G = any caller of the engine (mostly the GUI thread), U = an update thread
// (two of them), M = SDL's device callback (the mixer; never waits, never allocates), K = the device
// keeper. Atomics without an order named here use the sequentially consistent default.
//
// | field                              | written by (order)                   | read by (order)            |
// |------------------------------------|--------------------------------------|----------------------------|
// | FrameRing::written                 | U, the stream's servicer (release)   | M (acquire)                |
// | FrameRing::consumed                | M (release)                          | U (acquire)                |
// | Stream::decoder                    | G in createStream, then the U that   | the same thread            |
// |                                    | holds `claimed`; nobody else         |                            |
// | Stream::claimed                    | U (test_and_set / clear)             | U                          |
// | Stream::state                      | G (play, pause, stop), U (Ended),    | G, U, M                    |
// |                                    | all by compare-exchange              |                            |
// | Stream::primed                     | U                                    | M                          |
// | Stream::decodeDone                 | U (release, after the last write)    | M (acquire)                |
// | Stream::drained                    | M (exchange)                         | U                          |
// | Stream::interrupted                | K, under streamsMutex                | U, M                       |
// | Stream::framesPlayed               | M                                    | G                          |
// | Stream::gain (the target)          | G (relaxed)                          | M (relaxed: one number, no |
// |                                    |                                      | other data hangs on it)    |
// | Stream::mixGain, rampStep          | M                                    | M                          |
// | State::volumeGain (the target)     | G (relaxed)                          | M (relaxed, as the gain)   |
// | State::mixVolume, volumeStep,      | M                                    | M                          |
// |   soundedBefore                    |                                      |                            |
// | Stream end procedure, adopted file | G and U under streamsMutex           | U under streamsMutex       |
// | State::mixSlots                    | G (a new stream), U (release: null)  | M                          |
// | State::mixPasses                   | M (odd while mixing)                 | U in release, which sleeps |
// |                                    |                                      | on it as a futex           |
// | State::deviceFrames                | M; K when a device opens (0)         | G                          |
// | State::streams, slotTaken, handles | G, U under streamsMutex              | G, U, K under streamsMutex |

namespace {

// The oldest SDL2 whose audio streams and device calls we rely on.
constexpr int minimumSdlMajor = 2;
constexpr int minimumSdlMinor = 0;
constexpr int minimumSdlPatch = 18;

// A stream joins the mix once this much is decoded (or it is decoded completely), so that its start
// is not broken up by the first refills.
constexpr size_t primeFrames = AudioEngine::sampleRate / 2;
constexpr size_t ringFrames =
    size_t(AudioEngine::sampleRate) / 1000 * size_t(AudioEngine::bufferMilliseconds);
// Bytes asked of the decoder at a time.
constexpr size_t decodeChunkBytes = 16384;

enum StreamState { Idle, Playing, Paused, Stopping, Ended };

// Gives the texts below their translation context, where lupdate finds them too.
struct EngineText
{
    Q_DECLARE_TR_FUNCTIONS(AudioEngine)
};

bool transition(std::atomic<int>& state, std::initializer_list<int> from, int to)
{
    int current = state.load();
    while (std::find(from.begin(), from.end(), current) != from.end()) {
        if (state.compare_exchange_weak(current, to))
            return true;
    }
    return false;
}

// One playing file: its decoder and the frames decoded ahead.
struct Stream
{
    Stream(const FileProcedures& procedures, void* user) : decoder(procedures, user) {}

    quint32 handle = 0;
    int slot = -1;
    StreamDecoder decoder;

    FrameRing ring{ringFrames};
    std::atomic<int> state{Idle};
    std::atomic<bool> primed{false};
    std::atomic<bool> decodeDone{false};
    std::atomic<bool> drained{false};
    // The device went away while the stream was playing: it ends where it is.
    std::atomic<bool> interrupted{false};
    std::atomic<quint64> framesPlayed{0};
    // Set before the stream starts (its measured loudness or its tag's ReplayGain), and again when a
    // measurement arrives while it plays; the mixer glides from the gain it plays at to this one.
    std::atomic<qint32> gain{FrameRing::unityGain};
    // The gain the mixer plays the stream at, -1 until its first chunk, which starts at `gain` itself.
    qint32 mixGain = -1;
    // Per frame while mixGain moves towards `gain`: a ramp of rampMilliseconds from where it was.
    qint32 rampStep = 0;
    qint32 rampTarget = -1;
    std::atomic_flag claimed = ATOMIC_FLAG_INIT;
    // The stream armed to start in the frame after this one's last (slot and handle, see followerKey), 0
    // for none, or handedOver once this stream has played out and the mixer has taken what was armed.
    std::atomic<quint64> follower{0};
    // The mixer's chunk in which this stream joined as a follower: it is not mixed a second time there.
    quint64 joinedChunk = 0;

    SyncProc endProcedure = nullptr;
    void* endUser = nullptr;
    quint32 syncHandle = 0;
    QFile* adoptedFile = nullptr;
};

constexpr quint64 handedOver = ~quint64(0);

// A gain or volume change glides over this many frames.
constexpr qint32 rampFrames = AudioEngine::sampleRate / 1000 * AudioEngine::rampMilliseconds;

// A gain in dB as the mixer's fixed-point factor, kept within +-40 dB.
qint32 gainFactor(double decibels)
{
    return qint32(std::lround(std::pow(10.0, std::clamp(decibels, -40.0, 40.0) / 20) * FrameRing::unityGain));
}

quint64 followerKey(const Stream& stream)
{
    return (quint64(stream.slot) + 1) << 32 | stream.handle;
}

// A futex word must be a plain 32-bit integer in memory.
static_assert(sizeof(std::atomic<quint32>) == sizeof(quint32) && std::atomic<quint32>::is_always_lock_free);

long futex(std::atomic<quint32>* word, int operation, quint32 value)
{
    return syscall(SYS_futex, reinterpret_cast<quint32*>(word), operation, value, nullptr, nullptr, 0);
}

} // namespace

struct AudioEngine::State
{
    State()
        : keeper(DeviceKeeper::Hooks{&State::mixCallback, this, [this] { return anyPlaying(); },
                                     [this] { deviceFrames.store(0); },
                                     [this] {
                                         interruptPlaying();
                                         tellListener(&DeviceListener::lost);
                                     },
                                     [this] { tellListener(&DeviceListener::back); }})
    {
        sem_init(&wakeups, 0, 0);
    }
    ~State() { sem_destroy(&wakeups); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    std::atomic<bool> open{false};
    std::atomic<bool> replayGainUsed{false};
    bool decoderLibraryReady = false;
    std::atomic<qint32> volumeGain{FrameRing::unityGain};

    // The mixer's own.
    std::vector<qint32> mixBuffer = std::vector<qint32>(size_t(DeviceKeeper::periodFrames) * channels, 0);
    std::array<std::atomic<Stream*>, maximumStreams> mixSlots{};
    // Odd while the callback is mixing; a stream's release sleeps until the pass that may still read it is
    // over.
    std::atomic<quint32> mixPasses{0};
    std::atomic<int> passWaiters{0};
    std::atomic<quint64> deviceFrames{0};
    quint64 mixChunk = 0;
    // The volume the mixer plays at, moving per frame towards volumeGain.
    qint32 mixVolume = FrameRing::unityGain;
    qint32 volumeStep = 0;
    qint32 volumeTarget = FrameRing::unityGain;
    // Whether the chunk before had any stream in it.
    bool soundedBefore = false;

    // Streams, by handle.
    mutable std::mutex streamsMutex;
    std::unordered_map<quint32, std::shared_ptr<Stream>> streams;
    std::array<bool, maximumStreams> slotTaken{};
    quint32 lastHandle = 0;
    std::atomic<int> streamCount{0};

    // Update threads. They sleep until a stream needs them (it was created, stopped or cut off, or it has
    // played out: posted from the device callback, which a semaphore never blocks) or until its ring
    // wants refilling, instead of waking every few milliseconds for nothing.
    std::atomic<bool> stopping{false};
    sem_t wakeups{};
    std::vector<std::thread> updateThreads;

    // Declared before the keeper, whose thread calls it, so that it outlives the thread.
    std::mutex listenerMutex;
    DeviceListener deviceListener;

    DeviceKeeper keeper;

    void tellListener(std::function<void()> DeviceListener::*news)
    {
        std::lock_guard<std::mutex> lock(listenerMutex);
        if (deviceListener.*news)
            (deviceListener.*news)();
    }

    static void SDLCALL mixCallback(void* userdata, Uint8* output, int bytes)
    {
        static_cast<State*>(userdata)->mix(reinterpret_cast<qint16*>(output),
                                           size_t(bytes) / (sizeof(qint16) * AudioEngine::channels));
    }

    void mix(qint16* output, size_t frames)
    {
        mixPasses.fetch_add(1);
        // A device just opened has played nothing yet, whatever the one before it played.
        if (deviceFrames.load() == 0)
            soundedBefore = false;
        const size_t period = mixBuffer.size() / AudioEngine::channels;
        while (frames > 0) {
            const size_t count = std::min(frames, period);
            ++mixChunk;
            std::fill_n(mixBuffer.begin(), count * AudioEngine::channels, 0);
            bool sounding = false;
            for (auto& slot : mixSlots) {
                Stream* stream = slot.load();
                if (!stream || stream->joinedChunk == mixChunk || stream->state.load() != Playing ||
                    !stream->primed.load() || stream->interrupted.load())
                    continue;
                mixStream(*stream, 0, count);
                sounding = true;
            }
            applyVolume(count, !soundedBefore);
            soundedBefore = sounding;
            for (size_t i = 0; i < count * AudioEngine::channels; ++i)
                output[i] = qint16(std::clamp<qint32>(mixBuffer[i], -32768, 32767));
            output += count * AudioEngine::channels;
            frames -= count;
            deviceFrames.fetch_add(count);
        }
        mixPasses.fetch_add(1);
        if (passWaiters.load() > 0)
            futex(&mixPasses, FUTEX_WAKE_PRIVATE, INT_MAX);
    }

    // Scales the first `count` frames of the mix by the host's volume, gliding to a new one without a click;
    // after silence (`fromSilence`) there is nothing to click against, and the music starts at the volume.
    void applyVolume(size_t count, bool fromSilence)
    {
        const qint32 target = volumeGain.load(std::memory_order_relaxed);
        if (fromSilence)
            mixVolume = target;
        if (target != volumeTarget) {
            volumeTarget = target;
            volumeStep = std::max<qint32>(1, std::abs(target - mixVolume) / rampFrames);
        }
        if (mixVolume == FrameRing::unityGain && target == mixVolume)
            return;
        for (size_t frame = 0; frame < count; ++frame) {
            if (mixVolume != target)
                mixVolume = mixVolume < target ? std::min(mixVolume + volumeStep, target)
                                               : std::max(mixVolume - volumeStep, target);
            for (size_t channel = 0; channel < AudioEngine::channels; ++channel) {
                qint32& sample = mixBuffer[frame * AudioEngine::channels + channel];
                sample = qint32((qint64(sample) * mixVolume) >> 16);
            }
        }
    }

    // Adds the stream to the frames from `offset` to `count` of the chunk being mixed.
    void mixStream(Stream& stream, size_t offset, size_t count)
    {
        const bool decoded = stream.decodeDone.load(std::memory_order_acquire);
        const qint32 target = stream.gain.load(std::memory_order_relaxed);
        if (stream.mixGain < 0)
            stream.mixGain = target;
        if (target != stream.rampTarget) {
            stream.rampTarget = target;
            stream.rampStep = std::max<qint32>(1, std::abs(target - stream.mixGain) / rampFrames);
        }
        qint32* into = mixBuffer.data() + offset * AudioEngine::channels;
        const size_t got =
            stream.mixGain == target
                ? stream.ring.addInto(into, count - offset, target)
                : stream.ring.addRamped(into, count - offset, stream.mixGain, target, stream.rampStep);
        stream.framesPlayed.fetch_add(got);
        // The stream has played out as soon as its last frame is mixed, not a pass later. An update thread
        // ends it at once, and what was armed to follow it goes on in the very next frame.
        if (!decoded || stream.ring.readable() != 0 || stream.drained.exchange(true))
            return;
        sem_post(&wakeups);
        Stream* next = takeFollower(stream);
        if (next && offset + got < count) {
            next->joinedChunk = mixChunk;
            mixStream(*next, offset + got, count);
        }
    }

    // The stream armed to follow `stream`, started; null when none was armed or it cannot start. After this
    // nothing can be armed behind `stream` any more.
    Stream* takeFollower(Stream& stream)
    {
        const quint64 key = stream.follower.exchange(handedOver);
        if (key == 0 || key == handedOver)
            return nullptr;
        Stream* next = mixSlots[size_t(key >> 32) - 1].load();
        if (!next || followerKey(*next) != key || !transition(next->state, {Idle}, Playing))
            return nullptr;
        return next;
    }

    // Returns once the mixer has finished the pass it may be in.
    void waitOutMixPass()
    {
        const quint32 pass = mixPasses.load();
        if (pass % 2 == 0)
            return;
        passWaiters.fetch_add(1);
        while (mixPasses.load() == pass)
            futex(&mixPasses, FUTEX_WAIT_PRIVATE, pass);
        passWaiters.fetch_sub(1);
    }

    std::shared_ptr<Stream> find(quint32 handle) const
    {
        const auto found = streams.find(handle);
        return found == streams.end() ? nullptr : found->second;
    }

    bool changeState(quint32 handle, std::initializer_list<int> from, int to)
    {
        std::lock_guard<std::mutex> lock(streamsMutex);
        const std::shared_ptr<Stream> stream = find(handle);
        return stream && transition(stream->state, from, to);
    }

    void wakeUpdaters() { sem_post(&wakeups); }

    // Returns when woken, or after the refill period while streams exist.
    void waitForWork()
    {
        if (streamCount.load() == 0) {
            while (sem_wait(&wakeups) != 0 && errno == EINTR) {
            }
            return;
        }
        timespec until{};
        clock_gettime(CLOCK_MONOTONIC, &until);
        const long nanoseconds = until.tv_nsec + long(refillMilliseconds) * 1000000L;
        until.tv_sec += nanoseconds / 1000000000L;
        until.tv_nsec = nanoseconds % 1000000000L;
        while (sem_clockwait(&wakeups, CLOCK_MONOTONIC, &until) != 0 && errno == EINTR) {
        }
    }

    bool anyPlaying() const
    {
        std::lock_guard<std::mutex> lock(streamsMutex);
        return std::any_of(streams.begin(), streams.end(),
                           [](const auto& entry) { return entry.second->state.load() == Playing; });
    }

    // The device went away: the streams that were playing end where they are. Marked before any device
    // opens again, so the new device never plays on from an ended song.
    void interruptPlaying()
    {
        {
            std::lock_guard<std::mutex> lock(streamsMutex);
            for (const auto& entry : streams) {
                if (entry.second->state.load() == Playing)
                    entry.second->interrupted.store(true);
            }
        }
        wakeUpdaters();
    }

    // Takes the stream out of the mix and the table, closes its file and, when it played to its end,
    // calls its end procedure. Runs on an update thread, or in close() once nothing else runs.
    void release(const std::shared_ptr<Stream>& stream, bool ended)
    {
        mixSlots[size_t(stream->slot)].store(nullptr);
        waitOutMixPass();
        stream->decoder.close();
        QFile* adopted = nullptr;
        {
            std::lock_guard<std::mutex> lock(streamsMutex);
            streams.erase(stream->handle);
            slotTaken[size_t(stream->slot)] = false;
            std::swap(adopted, stream->adoptedFile);
            streamCount.store(int(streams.size()));
        }
        delete adopted;
        keeper.updateRunning();
        if (ended && stream->endProcedure)
            stream->endProcedure(stream->syncHandle, stream->handle, 0, stream->endUser);
    }

    void fill(Stream& stream, std::vector<unsigned char>& scratch)
    {
        if (stream.decoder.fill(stream.ring, scratch, stream.primed, primeFrames))
            stream.decodeDone.store(true, std::memory_order_release);
    }

    // Returns true when the stream has been released.
    bool service(const std::shared_ptr<Stream>& stream, std::vector<unsigned char>& scratch)
    {
        if (stream->state.load() == Stopping) {
            release(stream, false);
            return true;
        }
        if (stream->interrupted.load()) {
            release(stream, transition(stream->state, {Playing, Paused}, Ended));
            return true;
        }
        if (stream->drained.load()) {
            const bool ended = transition(stream->state, {Playing, Paused}, Ended);
            release(stream, ended);
            return true;
        }
        fill(*stream, scratch);
        return false;
    }

    void updateLoop()
    {
        std::vector<unsigned char> scratch(decodeChunkBytes);
        std::vector<std::shared_ptr<Stream>> snapshot;
        for (;;) {
            waitForWork();
            if (stopping.load())
                break;
            {
                std::lock_guard<std::mutex> streamsLock(streamsMutex);
                snapshot.clear();
                for (const auto& entry : streams)
                    snapshot.push_back(entry.second);
            }
            for (const auto& stream : snapshot) {
                if (stream->claimed.test_and_set())
                    continue;
                // A released stream stays claimed, so no other thread touches it again.
                if (service(stream, scratch))
                    continue;
                stream->claimed.clear();
                // A stream that ended, stopped or lost its device while this thread held it may have sent
                // the other thread away empty-handed; someone must come back for it now.
                if (stream->drained.load() || stream->interrupted.load() || stream->state.load() == Stopping)
                    wakeUpdaters();
            }
            snapshot.clear();
        }
    }
};

AudioEngine& AudioEngine::instance()
{
    static AudioEngine engine;
    return engine;
}

AudioEngine::AudioEngine() : d(std::make_unique<State>()) {}

AudioEngine::~AudioEngine()
{
    close();
}

QString AudioEngine::sdlVersionProblem(int major, int minor, int patch)
{
    if (major == minimumSdlMajor && SDL_VERSIONNUM(major, minor, patch) >=
                                        SDL_VERSIONNUM(minimumSdlMajor, minimumSdlMinor, minimumSdlPatch))
        return QString();
    return EngineText::tr("An incorrect version of SDL2 was loaded: %1.%2.%3. Supported SDL2 versions are "
                          "%4.%5.%6 and newer.")
        .arg(major)
        .arg(minor)
        .arg(patch)
        .arg(minimumSdlMajor)
        .arg(minimumSdlMinor)
        .arg(minimumSdlPatch);
}

QString AudioEngine::libraryVersionProblem()
{
    SDL_version linked{};
    SDL_GetVersion(&linked);
    const QString sdlProblem = sdlVersionProblem(linked.major, linked.minor, linked.patch);
    if (!sdlProblem.isEmpty())
        return sdlProblem;
    if (!mpg123_feature(MPG123_FEATURE_DECODE_LAYER3) || !mpg123_feature(MPG123_FEATURE_OUTPUT_16BIT))
        return EngineText::tr("The loaded libmpg123 cannot decode MPEG layer 3 audio to 16-bit samples.");
    return QString();
}

bool AudioEngine::open(QString* failure)
{
    QString ignored;
    if (!failure)
        failure = &ignored;
    if (d->open)
        return true;
    if (!d->decoderLibraryReady) {
        const int result = mpg123_init();
        if (result != MPG123_OK) {
            *failure = EngineText::tr("The MP3 decoder could not be started: %1")
                           .arg(QString::fromUtf8(mpg123_plain_strerror(result)));
            return false;
        }
        d->decoderLibraryReady = true;
    }
    // SDL would otherwise turn Ctrl+C and SIGTERM into events nobody reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Vimo");
    // The events carry the news of a removed device.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS) != 0) {
        *failure = EngineText::tr("The audio system could not be started: %1")
                       .arg(QString::fromUtf8(SDL_GetError()));
        return false;
    }
    if (!d->keeper.open(failure)) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS);
        return false;
    }
    d->stopping.store(false);
    for (int i = 0; i < updateThreadCount; ++i) {
        d->updateThreads.emplace_back([this, i] {
            // The name shows in debuggers and tells the end procedure's thread from SDL's own.
            pthread_setname_np(pthread_self(),
                               QByteArray("audio update " + QByteArray::number(i + 1)).constData());
            d->updateLoop();
            SDL_TLSCleanup();
        });
    }
    d->open = true;
    return true;
}

void AudioEngine::close()
{
    if (!d->open)
        return;
    d->keeper.close();
    d->stopping.store(true);
    for (int i = 0; i < updateThreadCount; ++i)
        d->wakeUpdaters();
    for (std::thread& thread : d->updateThreads)
        thread.join();
    d->updateThreads.clear();
    std::vector<std::shared_ptr<Stream>> remaining;
    {
        std::lock_guard<std::mutex> lock(d->streamsMutex);
        for (const auto& entry : d->streams)
            remaining.push_back(entry.second);
    }
    for (const auto& stream : remaining)
        d->release(stream, false);
    SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS);
    d->open = false;
}

bool AudioEngine::isOpen() const
{
    return d->open;
}

bool AudioEngine::hasDevice() const
{
    return d->open && d->keeper.hasDevice();
}

void AudioEngine::injectDeviceRemovalForTesting()
{
    d->keeper.injectRemovalForTesting();
}

void AudioEngine::setDeviceListener(DeviceListener listener)
{
    std::lock_guard<std::mutex> lock(d->listenerMutex);
    d->deviceListener = std::move(listener);
}

DeviceFormat AudioEngine::deviceFormat() const
{
    if (!d->open)
        return DeviceFormat();
    return DeviceFormat{sampleRate, channels, 16};
}

quint64 AudioEngine::deviceFrames() const
{
    return d->deviceFrames.load();
}

quint32 AudioEngine::createStream(const FileProcedures& procedures, void* user)
{
    if (!procedures.close || !procedures.length || !procedures.read || !procedures.seek)
        return 0;
    if (!d->open) {
        procedures.close(user);
        return 0;
    }
    auto stream = std::make_shared<Stream>(procedures, user);
    if (!stream->decoder.open())
        return 0;
    double tagGain = 0;
    if (d->replayGainUsed.load() && stream->decoder.tagGain(&tagGain))
        stream->gain.store(gainFactor(tagGain));
    {
        std::lock_guard<std::mutex> lock(d->streamsMutex);
        const auto freeSlot = std::find(d->slotTaken.begin(), d->slotTaken.end(), false);
        if (freeSlot == d->slotTaken.end()) {
            stream->decoder.close();
            return 0;
        }
        *freeSlot = true;
        stream->slot = int(freeSlot - d->slotTaken.begin());
        do
            stream->handle = ++d->lastHandle;
        while (stream->handle == 0);
        d->streams.emplace(stream->handle, stream);
        d->streamCount.store(int(d->streams.size()));
        d->mixSlots[size_t(stream->slot)].store(stream.get());
    }
    d->wakeUpdaters();
    return stream->handle;
}

quint32 AudioEngine::setEndSync(quint32 stream, SyncProc procedure, void* user)
{
    std::lock_guard<std::mutex> lock(d->streamsMutex);
    const std::shared_ptr<Stream> found = d->find(stream);
    if (!found)
        return 0;
    found->endProcedure = procedure;
    found->endUser = user;
    do
        found->syncHandle = ++d->lastHandle;
    while (found->syncHandle == 0);
    return found->syncHandle;
}

bool AudioEngine::play(quint32 stream)
{
    {
        std::lock_guard<std::mutex> lock(d->streamsMutex);
        const std::shared_ptr<Stream> found = d->find(stream);
        if (!found || (found->state.load() != Playing && !transition(found->state, {Idle, Paused}, Playing)))
            return false;
    }
    d->keeper.updateRunning();
    return true;
}

bool AudioEngine::setFollower(quint32 stream, quint32 follower)
{
    std::lock_guard<std::mutex> lock(d->streamsMutex);
    const std::shared_ptr<Stream> current = d->find(stream);
    if (!current)
        return false;
    quint64 key = 0;
    if (follower != 0) {
        const std::shared_ptr<Stream> next = d->find(follower);
        if (!next || next == current || next->state.load() != Idle)
            return false;
        key = followerKey(*next);
    }
    quint64 armed = current->follower.load();
    while (armed != handedOver) {
        if (current->follower.compare_exchange_weak(armed, key))
            return true;
    }
    return false;
}

bool AudioEngine::setGain(quint32 stream, double decibels)
{
    std::lock_guard<std::mutex> lock(d->streamsMutex);
    const std::shared_ptr<Stream> found = d->find(stream);
    if (!found)
        return false;
    found->gain.store(gainFactor(decibels), std::memory_order_relaxed);
    return true;
}

void AudioEngine::setReplayGainUsed(bool used)
{
    d->replayGainUsed.store(used);
}

void AudioEngine::setVolume(int percent)
{
    d->volumeGain.store(std::clamp(percent, 0, 100) * FrameRing::unityGain / 100, std::memory_order_relaxed);
}

int AudioEngine::volume() const
{
    return int(std::lround(d->volumeGain.load(std::memory_order_relaxed) * 100.0 / FrameRing::unityGain));
}

bool AudioEngine::discardUnstarted(quint32 stream)
{
    if (!d->changeState(stream, {Idle}, Stopping))
        return false;
    d->wakeUpdaters();
    return true;
}

bool AudioEngine::isUnstarted(quint32 stream) const
{
    std::lock_guard<std::mutex> lock(d->streamsMutex);
    const std::shared_ptr<Stream> found = d->find(stream);
    return found && found->state.load() == Idle;
}

bool AudioEngine::pause(quint32 stream)
{
    if (!d->changeState(stream, {Playing}, Paused))
        return false;
    d->keeper.updateRunning();
    return true;
}

bool AudioEngine::stop(quint32 stream)
{
    if (!d->changeState(stream, {Idle, Playing, Paused}, Stopping))
        return false;
    d->wakeUpdaters();
    return true;
}

bool AudioEngine::adoptFile(quint32 stream, QFile* file)
{
    std::lock_guard<std::mutex> lock(d->streamsMutex);
    const std::shared_ptr<Stream> found = d->find(stream);
    if (!found)
        return false;
    if (found->adoptedFile != file)
        delete found->adoptedFile;
    found->adoptedFile = file;
    return true;
}

qint64 AudioEngine::position(quint32 stream) const
{
    std::lock_guard<std::mutex> lock(d->streamsMutex);
    const std::shared_ptr<Stream> found = d->find(stream);
    return found ? qint64(found->framesPlayed.load()) : -1;
}

int AudioEngine::streamCount() const
{
    return d->streamCount.load();
}
