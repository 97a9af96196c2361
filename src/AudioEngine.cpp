#include "AudioEngine.h"

#include "desktop/NoticeBoard.h"
#include "runlog.h"

#include <QCoreApplication>
#include <QFile>
#include <SDL.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <initializer_list>
#include <mpg123.h>
#include <mutex>
#include <pthread.h>
#include <semaphore.h>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

// The oldest SDL2 whose audio streams and device calls we rely on.
constexpr int minimumSdlMajor = 2;
constexpr int minimumSdlMinor = 0;
constexpr int minimumSdlPatch = 18;

// Frames the device asks for at a time: about 12 ms, short enough that pausing sounds immediate.
constexpr int devicePeriodFrames = 512;
// A stream joins the mix once this much is decoded (or it is decoded completely), so that its start
// is not broken up by the first refills.
constexpr int primeFrames = AudioEngine::sampleRate / 2;
constexpr int ringFrames = AudioEngine::sampleRate / 1000 * AudioEngine::bufferMilliseconds;
// Bytes asked of the decoder at a time.
constexpr size_t decodeChunkBytes = 16384;
// mpg123_read() answering "fine, nothing" this often in a row means the decoder is stuck.
constexpr int maximumEmptyReads = 100;
// How often the device keeper asks SDL whether the open device still plays, besides SDL's removal event.
constexpr int deviceCheckMilliseconds = 500;

enum StreamState { Idle, Playing, Paused, Stopping, Ended };

// Gives the texts below their translation context, where lupdate finds them too.
struct EngineText
{
    Q_DECLARE_TR_FUNCTIONS(AudioEngine)
};

// Decoded frames on their way from one update thread (the only writer) to the device callback (the only
// reader). Neither side waits for the other.
class FrameRing
{
public:
    // The samples are left uninitialised: only written frames are ever read, and clearing five seconds of
    // audio would cost the GUI thread, which creates the streams, time at every change of song.
    explicit FrameRing(size_t frames) : samples(new qint16[frames * AudioEngine::channels]), capacity(frames)
    {}

    size_t readable() const
    {
        return written.load(std::memory_order_acquire) - consumed.load(std::memory_order_relaxed);
    }
    size_t writable() const
    {
        return capacity -
               (written.load(std::memory_order_relaxed) - consumed.load(std::memory_order_acquire));
    }

    // Writer side: `frames` must not exceed writable().
    void write(const qint16* source, size_t frames)
    {
        const quint64 start = written.load(std::memory_order_relaxed);
        copySpans(start, frames, [&](size_t at, size_t count, size_t done) {
            std::copy_n(source + done * AudioEngine::channels, count * AudioEngine::channels,
                        samples.get() + at * AudioEngine::channels);
        });
        written.store(start + frames, std::memory_order_release);
    }

    // Reader side: adds up to `frames` frames onto `mix` and consumes them; returns how many.
    size_t addInto(qint32* mix, size_t frames)
    {
        const size_t count = std::min(frames, readable());
        const quint64 start = consumed.load(std::memory_order_relaxed);
        copySpans(start, count, [&](size_t at, size_t spanFrames, size_t done) {
            const qint16* from = samples.get() + at * AudioEngine::channels;
            qint32* to = mix + done * AudioEngine::channels;
            for (size_t i = 0; i < spanFrames * AudioEngine::channels; ++i)
                to[i] += from[i];
        });
        consumed.store(start + count, std::memory_order_release);
        return count;
    }

private:
    // Calls `span`(ring index, frames, frames done before) for the one or two pieces of a range.
    template <typename Span> void copySpans(quint64 start, size_t frames, Span span) const
    {
        const size_t at = start % capacity;
        const size_t first = std::min(frames, capacity - at);
        span(at, first, 0);
        if (first < frames)
            span(0, frames - first, first);
    }

    const std::unique_ptr<qint16[]> samples;
    const size_t capacity;
    std::atomic<quint64> written{0};
    std::atomic<quint64> consumed{0};
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

// One playing file: its decoder, its converter and the frames decoded ahead.
struct Stream
{
    explicit Stream(const FileProcedures& procedures, void* user) : procedures(procedures), user(user) {}

    quint32 handle = 0;
    int slot = -1;
    const FileProcedures procedures;
    void* const user;

    // Touched only by whoever decodes the stream: its creator, then one update thread at a time.
    quint64 filePosition = 0;
    quint64 fileLength = 0;
    mpg123_handle* decoder = nullptr;
    SDL_AudioStream* converter = nullptr;
    int converterRate = 0;
    int converterChannels = 0;
    quint64 converterFramesIn = 0;
    quint64 converterFramesOut = 0;
    std::vector<qint16> converted; // device frames that did not fit into the ring yet
    size_t convertedOffset = 0;
    bool decoderFinished = false;
    int emptyReads = 0;

    // Shared with the device callback.
    FrameRing ring{ringFrames};
    std::atomic<int> state{Idle};
    std::atomic<bool> primed{false};
    std::atomic<bool> decodeDone{false};
    std::atomic<bool> drained{false};
    // The device went away while the stream was playing: it ends where it is.
    std::atomic<bool> interrupted{false};
    std::atomic<quint64> framesPlayed{0};

    // Set by the update thread that is servicing the stream.
    std::atomic_flag claimed = ATOMIC_FLAG_INIT;

    // Guarded by the engine's stream mutex.
    SyncProc endProcedure = nullptr;
    void* endUser = nullptr;
    quint32 syncHandle = 0;
    QFile* adoptedFile = nullptr;
};

// libmpg123's reader interface over a stream's file procedures.
mpg123_ssize_t readFile(void* handle, void* buffer, size_t bytes)
{
    auto* stream = static_cast<Stream*>(handle);
    const quint32 read =
        stream->procedures.read(buffer, quint32(std::min<size_t>(bytes, 1u << 30)), stream->user);
    stream->filePosition += read;
    return mpg123_ssize_t(read);
}

off_t seekFile(void* handle, off_t offset, int whence)
{
    auto* stream = static_cast<Stream*>(handle);
    qint64 target = offset;
    if (whence == SEEK_CUR)
        target += qint64(stream->filePosition);
    else if (whence == SEEK_END)
        target += qint64(stream->fileLength);
    else if (whence != SEEK_SET)
        return -1;
    if (target < 0 || !stream->procedures.seek(quint64(target), stream->user))
        return -1;
    stream->filePosition = quint64(target);
    return off_t(target);
}

void closeFile(void* handle)
{
    auto* stream = static_cast<Stream*>(handle);
    stream->procedures.close(stream->user);
}

// Closes the decoder, which calls the close procedure, and drops the converter.
void freeDecoder(Stream& stream)
{
    mpg123_delete(stream.decoder);
    stream.decoder = nullptr;
    SDL_FreeAudioStream(stream.converter);
    stream.converter = nullptr;
}

void appendConverted(Stream& stream, const void* data, size_t bytes)
{
    const auto* samples = static_cast<const qint16*>(data);
    stream.converted.insert(stream.converted.end(), samples, samples + bytes / sizeof(qint16));
}

// Moves what the converter has ready behind the frames waiting for the ring.
void drainConverter(Stream& stream)
{
    const int bytes = SDL_AudioStreamAvailable(stream.converter);
    if (bytes <= 0)
        return;
    const size_t oldSize = stream.converted.size();
    stream.converted.resize(oldSize + size_t(bytes) / sizeof(qint16));
    const int got =
        std::max(SDL_AudioStreamGet(stream.converter, stream.converted.data() + oldSize, bytes), 0);
    stream.converted.resize(oldSize + size_t(got) / sizeof(qint16));
    stream.converterFramesOut += quint64(got) / (sizeof(qint16) * AudioEngine::channels);
}

// Takes the rest out of the converter and drops it.
void finishConverter(Stream& stream)
{
    if (!stream.converter)
        return;
    // SDL's resampler holds back the end of its input even when flushed. Silence behind the end pushes it
    // out; cutting the output to the exact converted length removes the silence again.
    const std::vector<qint16> silence(size_t(stream.converterRate / 4 * stream.converterChannels), 0);
    SDL_AudioStreamPut(stream.converter, silence.data(), int(silence.size() * sizeof(qint16)));
    SDL_AudioStreamFlush(stream.converter);
    drainConverter(stream);
    const quint64 rate = quint64(stream.converterRate);
    const quint64 exact = (stream.converterFramesIn * AudioEngine::sampleRate + rate / 2) / rate;
    const size_t waiting = (stream.converted.size() - stream.convertedOffset) / AudioEngine::channels;
    const size_t excess = size_t(
        std::min<quint64>(stream.converterFramesOut - std::min(exact, stream.converterFramesOut), waiting));
    stream.converted.resize(stream.converted.size() - excess * AudioEngine::channels);
    SDL_FreeAudioStream(stream.converter);
    stream.converter = nullptr;
}

// Prepares the conversion from the decoder's present output to the device's rate and channels.
bool configureConverter(Stream& stream)
{
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(stream.decoder, &rate, &channels, &encoding) != MPG123_OK)
        return false;
    finishConverter(stream);
    if (rate == AudioEngine::sampleRate && channels == AudioEngine::channels)
        return true;
    stream.converter = SDL_NewAudioStream(AUDIO_S16SYS, Uint8(channels), int(rate), AUDIO_S16SYS,
                                          AudioEngine::channels, AudioEngine::sampleRate);
    stream.converterRate = int(rate);
    stream.converterChannels = channels;
    stream.converterFramesIn = 0;
    stream.converterFramesOut = 0;
    return stream.converter != nullptr;
}

void takeDecoded(Stream& stream, const unsigned char* data, size_t bytes)
{
    if (bytes == 0)
        return;
    if (!stream.converter) {
        appendConverted(stream, data, bytes);
        return;
    }
    SDL_AudioStreamPut(stream.converter, data, int(bytes));
    stream.converterFramesIn += bytes / (sizeof(qint16) * size_t(stream.converterChannels));
    drainConverter(stream);
}

// Decodes until the ring is full or the file has ended.
void fill(Stream& stream, std::vector<unsigned char>& scratch)
{
    for (;;) {
        if (stream.convertedOffset < stream.converted.size()) {
            const size_t waiting = (stream.converted.size() - stream.convertedOffset) / AudioEngine::channels;
            const size_t frames = std::min(waiting, stream.ring.writable());
            stream.ring.write(stream.converted.data() + stream.convertedOffset, frames);
            stream.convertedOffset += frames * AudioEngine::channels;
            if (stream.ring.readable() >= size_t(primeFrames))
                stream.primed.store(true);
            if (frames < waiting)
                return;
            stream.converted.clear();
            stream.convertedOffset = 0;
        }
        if (stream.decoderFinished) {
            stream.decodeDone.store(true, std::memory_order_release);
            stream.primed.store(true);
            return;
        }
        if (stream.ring.writable() == 0)
            return;
        size_t done = 0;
        const int result = mpg123_read(stream.decoder, scratch.data(), scratch.size(), &done);
        takeDecoded(stream, scratch.data(), done);
        stream.emptyReads = (result == MPG123_OK && done == 0) ? stream.emptyReads + 1 : 0;
        if (result == MPG123_NEW_FORMAT) {
            if (!configureConverter(stream))
                stream.decoderFinished = true;
        } else if (result != MPG123_OK || stream.emptyReads > maximumEmptyReads) {
            // The end, or damage the decoder cannot get past: what was decoded still plays.
            finishConverter(stream);
            stream.decoderFinished = true;
        }
    }
}

} // namespace

struct AudioEngine::State
{
    // Device side. `device` is 0 while no device is open.
    std::atomic<SDL_AudioDeviceID> device{0};
    std::atomic<bool> open{false};
    bool decoderLibraryReady = false;
    std::vector<qint32> mixBuffer;
    std::array<std::atomic<Stream*>, maximumStreams> mixSlots{};
    // Odd while the callback is mixing; lets a stream's release wait out the pass that may still read it.
    std::atomic<quint64> mixPasses{0};
    std::atomic<quint64> deviceFrames{0};

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
    sem_t wakeups;
    std::vector<std::thread> updateThreads;

    // The device keeper, which replaces a removed device.
    std::mutex keeperMutex;
    std::condition_variable keeperWake;
    bool keeperStopping = false;
    std::atomic<bool> deviceLost{false};
    bool reopenFailureLogged = false;
    std::thread keeper;

    State() { sem_init(&wakeups, 0, 0); }
    ~State() { sem_destroy(&wakeups); }

    static void SDLCALL mixCallback(void* userdata, Uint8* output, int bytes)
    {
        static_cast<State*>(userdata)->mix(reinterpret_cast<qint16*>(output),
                                           size_t(bytes) / (sizeof(qint16) * AudioEngine::channels));
    }

    void mix(qint16* output, size_t frames)
    {
        mixPasses.fetch_add(1);
        const size_t period = mixBuffer.size() / AudioEngine::channels;
        while (frames > 0) {
            const size_t count = std::min(frames, period);
            std::fill_n(mixBuffer.begin(), count * AudioEngine::channels, 0);
            for (auto& slot : mixSlots) {
                Stream* stream = slot.load();
                if (!stream || stream->state.load() != Playing || !stream->primed.load() ||
                    stream->interrupted.load())
                    continue;
                const bool decoded = stream->decodeDone.load(std::memory_order_acquire);
                const size_t got = stream->ring.addInto(mixBuffer.data(), count);
                stream->framesPlayed.fetch_add(got);
                // The stream has played out as soon as its last frame is mixed, not a pass later: the
                // next song can then start in the very next pass. An update thread ends it at once.
                if (decoded && stream->ring.readable() == 0 && !stream->drained.exchange(true))
                    sem_post(&wakeups);
            }
            for (size_t i = 0; i < count * AudioEngine::channels; ++i)
                output[i] = qint16(std::clamp<qint32>(mixBuffer[i], -32768, 32767));
            output += count * AudioEngine::channels;
            frames -= count;
            deviceFrames.fetch_add(count);
        }
        mixPasses.fetch_add(1);
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

    // Takes the stream out of the mix and the table, closes its file and, when it played to its end,
    // calls its end procedure. Runs on an update thread, or in close() once nothing else runs.
    void release(const std::shared_ptr<Stream>& stream, bool ended)
    {
        mixSlots[size_t(stream->slot)].store(nullptr);
        const quint64 pass = mixPasses.load();
        if (pass % 2 == 1) {
            while (mixPasses.load() == pass)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        freeDecoder(*stream);
        QFile* adopted = nullptr;
        {
            std::lock_guard<std::mutex> lock(streamsMutex);
            streams.erase(stream->handle);
            slotTaken[size_t(stream->slot)] = false;
            std::swap(adopted, stream->adoptedFile);
            streamCount.store(int(streams.size()));
        }
        delete adopted;
        if (ended && stream->endProcedure)
            stream->endProcedure(stream->syncHandle, stream->handle, 0, stream->endUser);
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

    bool openDevice(QString* failure)
    {
        SDL_AudioSpec wanted{};
        wanted.freq = AudioEngine::sampleRate;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = AudioEngine::channels;
        wanted.samples = devicePeriodFrames;
        wanted.callback = &State::mixCallback;
        wanted.userdata = this;
        SDL_AudioSpec obtained{};
        // No changes allowed: SDL converts for the hardware, and the callback always sees this format.
        const SDL_AudioDeviceID opened = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        if (opened == 0) {
            *failure = EngineText::tr("The audio device could not be opened: %1")
                           .arg(QString::fromUtf8(SDL_GetError()));
            return false;
        }
        mixBuffer.assign(size_t(std::max<int>(obtained.samples, devicePeriodFrames)) * AudioEngine::channels,
                         0);
        deviceFrames.store(0);
        device.store(opened);
        return true;
    }

    // SDL calls this on the thread that noticed an event, while it holds its own event lock.
    static int SDLCALL watchDeviceEvents(void* userdata, SDL_Event* event)
    {
        auto* state = static_cast<State*>(userdata);
        if (event->type == SDL_AUDIODEVICEREMOVED && !event->adevice.iscapture &&
            event->adevice.which == state->device.load() && event->adevice.which != 0) {
            state->deviceLost.store(true);
            state->wakeKeeper();
        }
        return 1;
    }

    void wakeKeeper()
    {
        {
            std::lock_guard<std::mutex> lock(keeperMutex);
        }
        keeperWake.notify_all();
    }

    void keepDevice()
    {
        std::unique_lock<std::mutex> lock(keeperMutex);
        while (!keeperStopping) {
            const int pause =
                device.load() == 0 ? AudioEngine::deviceRetryMilliseconds : deviceCheckMilliseconds;
            keeperWake.wait_for(lock, std::chrono::milliseconds(pause),
                                [this] { return keeperStopping || deviceLost.load(); });
            if (keeperStopping)
                break;
            lock.unlock();
            const bool lost = deviceLost.exchange(false);
            const SDL_AudioDeviceID current = device.load();
            if (current != 0 && (lost || SDL_GetAudioDeviceStatus(current) == SDL_AUDIO_STOPPED))
                loseDevice(current);
            if (device.load() == 0)
                reopenDevice();
            // Nobody reads SDL's event queue; what the removal left there goes.
            SDL_FlushEvents(SDL_AUDIODEVICEADDED, SDL_AUDIODEVICEREMOVED);
            lock.lock();
        }
    }

    void loseDevice(SDL_AudioDeviceID lostDevice)
    {
        logMessage(EngineText::tr("The sound device was removed. The song that was playing ends; the default "
                                  "sound device is opened again."));
        postNotice(NoticeBoard::deviceLostNotice());
        device.store(0);
        SDL_CloseAudioDevice(lostDevice);
        // Marked before any device opens again, so the new device never plays on from an ended song.
        {
            std::lock_guard<std::mutex> lock(streamsMutex);
            for (const auto& entry : streams) {
                if (entry.second->state.load() == Playing)
                    entry.second->interrupted.store(true);
            }
        }
        wakeUpdaters();
    }

    void reopenDevice()
    {
        QString failure;
        if (openDevice(&failure)) {
            SDL_PauseAudioDevice(device.load(), 0);
            reopenFailureLogged = false;
            logMessage(EngineText::tr("The default sound device was opened again."));
            postNotice(NoticeBoard::deviceBackNotice());
        } else if (!reopenFailureLogged) {
            reopenFailureLogged = true;
            logMessage(failure + QLatin1Char(' ') +
                       EngineText::tr("Vimo keeps trying to open the default sound device."));
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
    if (!d->openDevice(failure)) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS);
        return false;
    }
    SDL_AddEventWatch(&State::watchDeviceEvents, d.get());
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
    d->keeperStopping = false;
    d->reopenFailureLogged = false;
    d->deviceLost.store(false);
    d->keeper = std::thread([this] {
        pthread_setname_np(pthread_self(), "audio device");
        d->keepDevice();
        // SDL keeps an error text per thread and frees it by itself only for threads it made.
        SDL_TLSCleanup();
    });
    d->open = true;
    SDL_PauseAudioDevice(d->device.load(), 0);
    return true;
}

void AudioEngine::close()
{
    if (!d->open)
        return;
    {
        std::lock_guard<std::mutex> lock(d->keeperMutex);
        d->keeperStopping = true;
    }
    d->keeperWake.notify_all();
    d->keeper.join();
    SDL_DelEventWatch(&State::watchDeviceEvents, d.get());
    d->stopping.store(true);
    for (int i = 0; i < updateThreadCount; ++i)
        d->wakeUpdaters();
    for (std::thread& thread : d->updateThreads)
        thread.join();
    d->updateThreads.clear();
    if (d->device.load() != 0)
        SDL_CloseAudioDevice(d->device.exchange(0));
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
    return d->open && d->device.load() != 0;
}

void AudioEngine::injectDeviceRemovalForTesting()
{
    SDL_Event event{};
    event.type = SDL_AUDIODEVICEREMOVED;
    event.adevice.which = d->device.load();
    event.adevice.iscapture = 0;
    SDL_PushEvent(&event);
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
    stream->fileLength = procedures.length(user);
    stream->decoder = mpg123_new(nullptr, nullptr);
    if (!stream->decoder) {
        procedures.close(user);
        return 0;
    }
    // Accept whatever rate and channel count the file has; the converter takes it from there.
    mpg123_param(stream->decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(stream->decoder);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(stream->decoder, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    const bool opened =
        mpg123_replace_reader_handle(stream->decoder, readFile, seekFile, closeFile) == MPG123_OK &&
        mpg123_open_handle(stream->decoder, stream.get()) == MPG123_OK && configureConverter(*stream);
    if (!opened) {
        freeDecoder(*stream);
        // Whether libmpg123 took the file over before failing is its business; closing twice is harmless.
        procedures.close(user);
        return 0;
    }
    {
        std::lock_guard<std::mutex> lock(d->streamsMutex);
        const auto freeSlot = std::find(d->slotTaken.begin(), d->slotTaken.end(), false);
        if (freeSlot == d->slotTaken.end()) {
            freeDecoder(*stream);
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
    std::lock_guard<std::mutex> lock(d->streamsMutex);
    const std::shared_ptr<Stream> found = d->find(stream);
    return found && (found->state.load() == Playing || transition(found->state, {Idle, Paused}, Playing));
}

bool AudioEngine::pause(quint32 stream)
{
    return d->changeState(stream, {Playing}, Paused);
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
