// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <atomic>

struct mpg123_handle_struct;

// How loud a song is, by EBU R128: its integrated loudness in LUFS and its true peak (1.0 = full scale).
struct Loudness
{
    double integrated = 0;
    double truePeak = 0;
    bool measured = false;
};

// Every song plays at this loudness when loudness is normalised.
constexpr double loudnessTarget = -18.0;
// No song's true peak goes above this, in dBTP, so nothing clips after the gain.
constexpr double truePeakCeiling = -1.0;

// Decodes the whole song with libmpg123 and measures it with libebur128. A few hundred milliseconds for a
// song of several minutes: call it on the thread pool, never on the GUI or an audio thread. Setting
// `cancelled` ends it early, unmeasured.
Loudness measureLoudness(const QString& path, const std::atomic<bool>* cancelled = nullptr);
// The gain in dB that brings a song of this loudness to the target, lowered where its true peak would
// otherwise pass the ceiling.
double normalizingGain(const Loudness& loudness);
// The ReplayGain track gain that the song's ID3v2 tag carries (its TXXX frames "replaygain_track_gain" and
// "replaygain_track_peak"), limited by the peak like a measured gain; false when it carries none. ReplayGain
// 2 refers to -18 LUFS, the target.
bool replayGainFromTag(mpg123_handle_struct* decoder, double* decibels);
