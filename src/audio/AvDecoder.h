// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioTypes.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SwrContext;

// FFmpeg's decoding of a song that is no MP3 (FLAC, Ogg Vorbis, Opus, AAC or Apple Lossless in MP4, WAV),
// for playback and measurement alike. FFmpeg sees nothing but the file's bytes through the file procedures:
// no file name, no protocol, only the demuxers and decoders of these formats, so that a hostile file reaches
// no other part of it. Gives 16-bit stereo frames (a mono song on both channels at full level, as the MP3
// decoder plays it, a multichannel one mixed down by libswresample's matrix), converted to the rate asked
// for by libswresample, whose rate stays exact over a whole song (SDL's stream loses a frame every 0.1 s
// from 96 kHz), and exactly as many as the song holds: the codecs' delay, priming and padding are cut off as
// the container says. Used by one thread at a time.
class AvDecoder
{
public:
    // `cancelled`, when given, ends the reading as a read error as soon as it is set.
    // `outputRate` 0 keeps the song's own rate.
    AvDecoder(const FileProcedures& procedures, void* user, int outputRate,
              const std::atomic<bool>* cancelled = nullptr);
    ~AvDecoder();
    AvDecoder(const AvDecoder&) = delete;
    AvDecoder& operator=(const AvDecoder&) = delete;

    // Whether the file the procedures read is a song for this decoder rather than MP3, judged by its first
    // bytes; the read position is back at the start afterwards.
    static bool takes(const FileProcedures& procedures, void* user);

    // Opens the file's first audio stream. False when it holds none this decoder may read, or also video.
    // The close procedure is called when the decoder closes, also after a failed open.
    bool open();
    void close();
    // The rate of the frames given.
    int sampleRate() const { return outputRate; }
    static constexpr int channels = 2;
    // The song's length in frames (at the rate given) as its container states it, or -1.
    qint64 statedFrames() const;
    // Appends the next decoded frames (interleaved) to `out`; false once the song has ended or cannot be
    // decoded further, when nothing was appended.
    bool decode(std::vector<qint16>& out);
    // Goes to about `frame` (at the rate given): where decoding goes on next.
    bool seek(qint64 frame);
    // The texts of the song's "replaygain_track_gain" and "replaygain_track_peak" tags (Vorbis comments or
    // MP4 freeform atoms), "" where it has none.
    void replayGainTexts(QString* gain, QString* peak) const;

private:
    static int readPacket(void* opaque, uint8_t* buffer, int size);
    static int64_t seekTo(void* opaque, int64_t offset, int whence);
    bool openStream();
    bool configureResampler();
    bool convert(const AVFrame* frame, std::vector<qint16>& out);
    // Appends what the resampler still holds, at the song's end or before its input changes.
    void drainResampler(std::vector<qint16>& out);

    const FileProcedures procedures;
    void* const user;
    const std::atomic<bool>* const cancelled;
    bool userOpen = true;
    quint64 position = 0;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* resampler = nullptr;
    // The input the resampler is set up for.
    int resamplerFormat = -1;
    int resamplerChannels = 0;
    quint64 resamplerMask = 0;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int streamIndex = -1;
    // Where the song ends, in frames from its start, when the container says it exactly; else -1.
    qint64 endFrame = -1;
    qint64 startTimestamp = 0;
    const int wantedRate;
    int rate = 0; // the song's
    int outputRate = 0;
    bool inputEnded = false;
    bool ended = false;
    QString gainText;
    QString peakText;
};
