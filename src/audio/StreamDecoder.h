// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioTypes.h"
#include "audio/MpegInput.h"

#include <QtGlobal>
#include <SDL_audio.h>
#include <atomic>
#include <memory>
#include <vector>

class AvDecoder;
class FrameRing;

struct mpg123_handle_struct;

// One song's way from its file to device frames: libmpg123 reads an MP3 through the stream's file
// procedures, FFmpeg every other format, and SDL converts what either decodes to the device's rate and
// channels. Used by one thread at a
// time: the stream's creator, then whichever update thread services the stream.
class StreamDecoder
{
public:
    StreamDecoder(const FileProcedures& procedures, void* user);
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // Opens the file as MPEG audio, or in its other format. False when it holds no audio; the close procedure
    // has been called then.
    bool open();
    // Decodes into `ring` until it is full or the file has ended, and sets `primed` once `primeFrames`
    // wait in the ring or everything does. True once the last frame of the song is in the ring.
    bool fill(FrameRing& ring, std::vector<unsigned char>& scratch, std::atomic<bool>& primed,
              size_t primeFrames);
    // Closes the decoder, which calls the close procedure, and drops the converter.
    void close();
    // The ReplayGain track gain of the song's tag in dB, when open() found one.
    bool tagGain(double* decibels) const;

private:
    void appendConverted(const void* data, size_t bytes);
    void drainConverter();
    void finishConverter();
    bool openMpeg();
    bool configureConverter();
    bool configureConverterFor(int rate, int channelCount);
    // Decodes the next piece of the song into the converter; false at the end.
    bool decodeNext(std::vector<unsigned char>& scratch);
    void takeDecoded(const unsigned char* data, size_t bytes);
    // Moves the converted frames into the ring; false when some did not fit.
    bool moveConverted(FrameRing& ring, std::atomic<bool>& primed, size_t primeFrames);

    const FileProcedures procedures;
    void* const user;
    MpegInput input;
    mpg123_handle_struct* decoder = nullptr;
    std::unique_ptr<AvDecoder> otherFormat;
    std::vector<qint16> otherFrames;
    SDL_AudioStream* converter = nullptr;
    int converterRate = 0;
    int converterChannels = 0;
    quint64 converterFramesIn = 0;
    quint64 converterFramesOut = 0;
    std::vector<qint16> converted; // device frames that did not fit into the ring yet
    size_t convertedOffset = 0;
    bool finished = false;
    bool hasTagGain = false;
    double tagGainDecibels = 0;
    int emptyReads = 0;
};
