// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/DeviceKeeper.h"

#include "audio/AudioTypes.h"
#include "base/runlog.h"

#include <QCoreApplication>
#include <SDL.h>
#include <chrono>
#include <pthread.h>
#include <utility>

namespace {

// How often the keeper asks SDL whether the open device still plays, besides SDL's removal event.
constexpr int deviceCheckMilliseconds = 500;

// The texts keep the engine's translation context.
QString engineText(const char* text)
{
    return QCoreApplication::translate("AudioEngine", text);
}

} // namespace

DeviceKeeper::DeviceKeeper(Hooks keeperHooks) : hooks(std::move(keeperHooks)) {}

DeviceKeeper::~DeviceKeeper()
{
    close();
}

bool DeviceKeeper::open(QString* failure)
{
    if (!openDevice(failure))
        return false;
    SDL_AddEventWatch(&DeviceKeeper::watchEvents, this);
    keeperStopping = false;
    reopenFailureLogged = false;
    deviceLost.store(false);
    keeper = std::thread([this] {
        pthread_setname_np(pthread_self(), "audio device");
        keep();
        // SDL keeps an error text per thread and frees it by itself only for threads it made.
        SDL_TLSCleanup();
    });
    updateRunning();
    return true;
}

void DeviceKeeper::close()
{
    if (!keeper.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(keeperMutex);
        keeperStopping = true;
    }
    keeperWake.notify_all();
    keeper.join();
    SDL_DelEventWatch(&DeviceKeeper::watchEvents, this);
    std::lock_guard<std::mutex> lock(runMutex);
    if (device.load() != 0)
        SDL_CloseAudioDevice(device.exchange(0));
}

bool DeviceKeeper::hasDevice() const
{
    return device.load() != 0;
}

void DeviceKeeper::updateRunning()
{
    std::lock_guard<std::mutex> lock(runMutex);
    const SDL_AudioDeviceID current = device.load();
    if (current != 0)
        SDL_PauseAudioDevice(current, hooks.wantsToRun() ? 0 : 1);
}

void DeviceKeeper::injectRemovalForTesting()
{
    SDL_Event event{};
    event.type = SDL_AUDIODEVICEREMOVED;
    event.adevice.which = device.load();
    event.adevice.iscapture = 0;
    SDL_PushEvent(&event);
}

bool DeviceKeeper::openDevice(QString* failure)
{
    SDL_AudioSpec wanted{};
    wanted.freq = deviceoutput::sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = deviceoutput::channels;
    wanted.samples = periodFrames;
    wanted.callback = hooks.mix;
    wanted.userdata = hooks.mixer;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts for the hardware, and the callback always sees this format. A new
    // device starts paused; updateRunning() lets it run when something plays.
    const SDL_AudioDeviceID opened = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (opened == 0) {
        *failure = engineText(QT_TRANSLATE_NOOP("AudioEngine", "The audio device could not be opened: %1"))
                       .arg(QString::fromUtf8(SDL_GetError()));
        return false;
    }
    hooks.opened();
    std::lock_guard<std::mutex> lock(runMutex);
    device.store(opened);
    return true;
}

// SDL calls this on the thread that noticed an event, while it holds its own event lock.
int SDLCALL DeviceKeeper::watchEvents(void* userdata, SDL_Event* event)
{
    auto* self = static_cast<DeviceKeeper*>(userdata);
    if (event->type == SDL_AUDIODEVICEREMOVED && !event->adevice.iscapture &&
        event->adevice.which == self->device.load() && event->adevice.which != 0) {
        self->deviceLost.store(true);
        self->wake();
    }
    return 1;
}

void DeviceKeeper::wake()
{
    {
        std::lock_guard<std::mutex> lock(keeperMutex);
    }
    keeperWake.notify_all();
}

void DeviceKeeper::keep()
{
    std::unique_lock<std::mutex> lock(keeperMutex);
    while (!keeperStopping) {
        const int pause = device.load() == 0 ? deviceoutput::retryMilliseconds : deviceCheckMilliseconds;
        keeperWake.wait_for(lock, std::chrono::milliseconds(pause),
                            [this] { return keeperStopping || deviceLost.load(); });
        if (keeperStopping)
            break;
        lock.unlock();
        const bool lost = deviceLost.exchange(false);
        const SDL_AudioDeviceID current = device.load();
        if (current != 0 && (lost || SDL_GetAudioDeviceStatus(current) == SDL_AUDIO_STOPPED))
            lose(current);
        if (device.load() == 0)
            reopen();
        // Nobody reads SDL's event queue; what the removal left there goes.
        SDL_FlushEvents(SDL_AUDIODEVICEADDED, SDL_AUDIODEVICEREMOVED);
        lock.lock();
    }
}

void DeviceKeeper::lose(quint32 lostDevice)
{
    logMessage(
        engineText(QT_TRANSLATE_NOOP("AudioEngine", "The sound device was removed. The song that was playing "
                                                    "ends; the default sound device is opened again.")));
    {
        std::lock_guard<std::mutex> lock(runMutex);
        device.store(0);
        SDL_CloseAudioDevice(lostDevice);
    }
    // Told before any device opens again, so the new device never plays on from an ended song.
    hooks.lost();
}

void DeviceKeeper::reopen()
{
    QString failure;
    if (openDevice(&failure)) {
        updateRunning();
        reopenFailureLogged = false;
        logMessage(
            engineText(QT_TRANSLATE_NOOP("AudioEngine", "The default sound device was opened again.")));
        hooks.back();
    } else if (!reopenFailureLogged) {
        reopenFailureLogged = true;
        logMessage(failure + QLatin1Char(' ') +
                   engineText(QT_TRANSLATE_NOOP("AudioEngine",
                                                "Vimo keeps trying to open the default sound device.")));
    }
}
