// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioTypes.h"

#include <QtGlobal>
#include <atomic>
#include <sys/types.h>
#include <vector>

struct mpg123_handle_struct;

// libmpg123's reader of a song's file, for playback and measurement alike. A long run of zero bytes (a
// preallocated or half-finished download) holds no frame, yet libmpg123 would search it for one a byte at
// a time: the reader finds its end with large reads and shows the decoder only the run's first bytes, as
// if the rest were not there. Damage of other kinds is searched past for a bounded number of bytes only.
class MpegInput
{
public:
    // `cancelled`, when given, ends the reading as a read error as soon as it is set.
    MpegInput(const FileProcedures& procedures, void* user, const std::atomic<bool>* cancelled = nullptr);
    MpegInput(const MpegInput&) = delete;
    MpegInput& operator=(const MpegInput&) = delete;

    // Makes the decoder read through this input and opens it; the decoder calls the close procedure when
    // it is deleted or opens another file.
    bool open(mpg123_handle_struct* decoder);
    // Once the file has shown itself to be MPEG audio: damage in its middle is searched past, as players
    // do, instead of ending the song there, but only so far behind the last good frame. Not before, so a
    // file that holds no audio at all is refused as quickly as ever.
    static void searchPastDamage(mpg123_handle_struct* decoder);
    // The file procedures' dataFrom() for a descriptor, whose read position it leaves where it was.
    static quint64 dataFrom(int descriptor, quint64 offset);

    // A run of zeros longer than this holds no frame (the largest is under 4 KiB): the decoder sees only
    // its first bytes.
    static constexpr quint64 zeroRunShown = 8192;
    // How far behind the last good frame damage other than zeros is searched for the next frame.
    static constexpr long resyncLimit = 1 << 20;

private:
    // Where a run of zeros was cut: the stream the decoder sees goes on at `shownAt` with the file's byte
    // at `fileAt`.
    struct Cut
    {
        quint64 shownAt = 0;
        quint64 fileAt = 0;
    };

    static ssize_t readShown(void* handle, void* buffer, size_t bytes);
    static off_t seekShown(void* handle, off_t offset, int whence);
    static void closeFile(void* handle);

    ssize_t read(unsigned char* out, size_t bytes);
    bool seek(quint64 shown);
    // Makes the buffer hold the byte at the present position; false at the end of the file or on an error.
    bool buffer();
    // The present position starts a run of zeros: measures it and cuts it where it is long.
    bool passZeros();
    bool cancelledNow() const { return cancelled && cancelled->load(std::memory_order_relaxed); }

    const FileProcedures procedures;
    void* const user;
    const std::atomic<bool>* const cancelled;
    // The file's bytes from `bufferAt` on; `next` is the index of the position the decoder reads next.
    std::vector<unsigned char> bytes;
    quint64 bufferAt = 0;
    size_t next = 0;
    // Zeros of a run to hand out before the file's bytes go on.
    quint64 zerosToShow = 0;
    quint64 shownPosition = 0;
    bool failed = false;
    std::vector<Cut> cuts;
};
