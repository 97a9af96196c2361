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
// No song is turned up by more than this, in dB: a near-silent song (a hiss, a hidden track, silence
// padded around a short sound) stays quiet instead of being raised to the loudness of music.
constexpr double largestBoost = 18.0;
// A song longer than this, in seconds, is measured from evenly spread parts of its audio, `sampledSeconds`
// in all: its whole measurement could take longer than the song before it plays, and a gain that comes
// late changes what is heard mid-song.
constexpr double longestWholeMeasurement = 8 * 60;
constexpr double sampledSeconds = 4 * 60;

// Decodes the song (a long one in parts) with libmpg123, or FFmpeg for another format, and measures it with
// libebur128 as it plays (a multichannel song mixed down to stereo), a mono song as the
// two equal channels it plays on. A few hundred milliseconds for a song of several minutes: call it on the
// thread pool, never on the GUI or an audio thread. Setting `cancelled` ends it early, unmeasured.
Loudness measureLoudness(const QString& path, const std::atomic<bool>* cancelled = nullptr);
// The gain in dB that brings a song of this loudness to the target, lowered where its true peak would
// otherwise pass the ceiling, and never more than the largest boost.
double normalizingGain(const Loudness& loudness);
// The ReplayGain track gain that the song's ID3v2 tag carries (its TXXX frames "replaygain_track_gain" and
// "replaygain_track_peak"), limited like a measured gain; false when it carries none. ReplayGain
// 2 refers to -18 LUFS, the target.
bool replayGainFromTag(mpg123_handle_struct* decoder, double* decibels);
// The same from the texts of a song's "replaygain_track_gain" and "replaygain_track_peak" tags (either may be
// empty); false without a gain.
bool replayGainFromTexts(const QString& gain, const QString& peak, double* decibels);
