// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

union SDL_Event;

// The engine's output device: opens SDL's default device, replaces it when SDL reports it removed (or it
// stops on its own), and keeps it paused while nothing plays, so no mixing of silence goes on all night.
// Its own thread, "audio device", does the replacing.
class DeviceKeeper
{
public:
    struct Hooks
    {
        // SDL's device callback and its user value.
        void (*mix)(void* mixer, unsigned char* output, int bytes) = nullptr;
        void* mixer = nullptr;
        // Whether some stream is playing: the device runs exactly then. Called under the keeper's run lock.
        std::function<bool()> wantsToRun;
        // A device has been opened (before it runs), or the open device has been closed because it went away.
        std::function<void()> opened;
        std::function<void()> lost;
        // A device has been opened again after one was lost, and runs when something plays. Called on the
        // keeper's thread, like `lost`.
        std::function<void()> back;
    };

    // 23 ms: songs join inside a period anyway, and half the wake-ups of 512 frames saved a third of the
    // CPU time of playback.
    static constexpr int periodFrames = 1024;

    explicit DeviceKeeper(Hooks hooks);
    ~DeviceKeeper();
    DeviceKeeper(const DeviceKeeper&) = delete;
    DeviceKeeper& operator=(const DeviceKeeper&) = delete;

    // Opens the default device and starts watching it; on failure `failure` receives why.
    bool open(QString* failure);
    // Stops watching and closes the device.
    void close();
    bool hasDevice() const;
    // Pauses or resumes the device after asking wantsToRun(); any thread but the device callback's.
    void updateRunning();
    void injectRemovalForTesting();

private:
    bool openDevice(QString* failure);
    static int watchEvents(void* userdata, SDL_Event* event);
    void wake();
    void keep();
    void lose(quint32 lostDevice);
    void reopen();

    const Hooks hooks;
    // 0 while no device is open.
    std::atomic<quint32> device{0};
    // Serialises the decision to pause or resume with opening and closing the device.
    std::mutex runMutex;

    std::mutex keeperMutex;
    std::condition_variable keeperWake;
    bool keeperStopping = false;
    std::atomic<bool> deviceLost{false};
    bool reopenFailureLogged = false;
    std::thread keeper;
};
