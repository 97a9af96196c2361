// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>
#include <memory>

class Foreigner;
class LoudnessCache;
struct LoudnessStore;

// Readies the songs to come: measures their loudness as soon as they are known, gives each player the
// gain its loudness asks for, and hands the playing song's end over to the next one, opened and decoded
// ahead. Which song comes next is the caller's choice. Lives on the GUI thread.
class NextSongArmer
{
public:
    // Normalizes the loudness when the setting asks for it, and tells the engine whether it does.
    NextSongArmer();
    ~NextSongArmer();
    NextSongArmer(const NextSongArmer&) = delete;
    NextSongArmer& operator=(const NextSongArmer&) = delete;

    // Called with a song's path once its measurement is ready.
    std::function<void(const QString& path)> measured;

    // Where measurements are kept from run to run; before the first measurement.
    void setLoudnessStore(LoudnessStore store);

    // Starts measuring the song unless it is measured or being measured.
    void measure(const QString& path);
    // Gives the player the gain that the loudness of its song asks for, if it is measured by now.
    void applyLoudness(Foreigner* player, const QString& path) const;

    enum class Arming { Armed, NothingArmed, TooLate };
    // Lets `next` (its song at `nextPath`; null for none) follow `head` seamlessly, and closes
    // `armedBefore`, which it replaces: Armed, or NothingArmed when `next` is null or cannot be opened.
    // TooLate when the head has already handed over to `armedBefore`, which stays; `next` is closed then
    // unless it has started.
    Arming arm(Foreigner* head, Foreigner* next, const QString& nextPath, Foreigner* armedBefore) const;
    // The head has ended: true when `armed` started in its place. Otherwise the head was cut off before
    // its end (its device went away), and the prepared song stays open only if it is the next head anyway.
    static bool tookOver(Foreigner* armed, bool isNextHead);

private:
    std::unique_ptr<LoudnessCache> loudness;
};
