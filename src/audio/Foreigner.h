// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

struct TagInfo;

// Called once, on an audio thread (never the GUI thread, never the device callback), when a started
// stream has played to its end. `user` is the receiver handed to the player: an object with the signal
// notifyFromBaseThread(), which it emits; a queued connection carries it to the GUI thread.
using SyncProc = void (*)(quint32 handle, quint32 channel, quint32 data, void* user);

// One song's audio: its tags and its playback stream.
class Foreigner
{
public:
    virtual ~Foreigner() = default;
    // A new tag record owned by the caller, or null after logging why the file was refused.
    virtual TagInfo* readTags() = 0;
    virtual bool play() = 0;
    virtual bool pause() = 0;
    // False when nothing was left to stop: the song never played, or it has played to its end and its end
    // notification is on its way.
    virtual bool stop() = 0;
    virtual void close() = 0;
    // Opens the song and starts decoding it without playing it, so that it can follow another song
    // seamlessly. False when the file cannot be opened or holds no playable audio.
    virtual bool prepare() = 0;
    // Lets the prepared `next` start in the very sample after this song's last (null: nothing follows).
    // False when this song has no stream or has already played out and handed over.
    virtual bool handOverTo(Foreigner* next) = 0;
    // Whether the song's stream has started, by play() or by a hand-over (also when it has ended since).
    virtual bool hasStarted() const = 0;
    // The gain in dB at which the song's next stream plays; NaN leaves it to the stream (its tag's
    // ReplayGain or unchanged). A stream that has started glides to it within a few milliseconds.
    virtual void setGain(double decibels) = 0;
    // How much of the song the device has played, in milliseconds; it stands still while the song is
    // paused. -1 when the song has no stream (never started, or ended).
    virtual qint64 playedMilliseconds() const { return -1; }
};

// The process's audio output: opened once by the main window, freed once before it is deleted.
class ForeignerBackend
{
public:
    virtual ~ForeignerBackend() = default;
    virtual bool init(quintptr ownerWindow) = 0;
    virtual void free() = 0;
};
