// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/MpegInput.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the decoder asks for is small; the file is read in pieces of this size behind its back.
constexpr size_t pieceBytes = size_t(64) * 1024;
// Inside a run of zeros the pieces grow: a gigabyte of them is read in a thousand calls.
constexpr size_t zeroPieceBytes = size_t(1024) * 1024;

// How many of the `count` bytes at `data` are zero before the first that is not.
size_t leadingZeros(const unsigned char* data, size_t count)
{
    size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= count; i += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, data + i, sizeof word);
        if (word != 0)
            break;
    }
    while (i < count && data[i] == 0)
        ++i;
    return i;
}

} // namespace

MpegInput::MpegInput(const FileProcedures& fileProcedures, void* fileUser, const std::atomic<bool>* cancel)
    : procedures(fileProcedures), user(fileUser), cancelled(cancel)
{}

bool MpegInput::open(mpg123_handle_struct* decoder)
{
    return mpg123_replace_reader_handle(decoder, readShown, seekShown, closeFile) == MPG123_OK &&
           mpg123_open_handle(decoder, this) == MPG123_OK;
}

void MpegInput::searchPastDamage(mpg123_handle_struct* decoder)
{
    mpg123_param(decoder, MPG123_RESYNC_LIMIT, resyncLimit, 0);
}

quint64 MpegInput::dataFrom(int descriptor, quint64 offset)
{
    const off_t position = ::lseek(descriptor, 0, SEEK_CUR);
    off_t data = ::lseek(descriptor, off_t(offset), SEEK_DATA);
    if (data < 0 && errno == ENXIO) {
        // Nothing but a hole up to the end.
        struct stat status = {};
        data = ::fstat(descriptor, &status) == 0 ? status.st_size : off_t(offset);
    }
    if (position >= 0)
        ::lseek(descriptor, position, SEEK_SET);
    return data < off_t(offset) ? offset : quint64(data);
}

ssize_t MpegInput::readShown(void* handle, void* buffer, size_t bytes)
{
    return static_cast<MpegInput*>(handle)->read(static_cast<unsigned char*>(buffer), bytes);
}

off_t MpegInput::seekShown(void* handle, off_t offset, int whence)
{
    auto* self = static_cast<MpegInput*>(handle);
    qint64 target = offset;
    if (whence == SEEK_CUR) {
        target += qint64(self->shownPosition);
    } else if (whence == SEEK_END) {
        const quint64 removed = self->cuts.empty() ? 0 : self->cuts.back().fileAt - self->cuts.back().shownAt;
        target += qint64(self->procedures.length(self->user) - removed);
    } else if (whence != SEEK_SET) {
        return -1;
    }
    if (target < 0 || !self->seek(quint64(target)))
        return -1;
    return off_t(target);
}

void MpegInput::closeFile(void* handle)
{
    auto* self = static_cast<MpegInput*>(handle);
    self->procedures.close(self->user);
}

ssize_t MpegInput::read(unsigned char* out, size_t count)
{
    size_t done = 0;
    while (done < count) {
        if (cancelledNow())
            return -1;
        if (zerosToShow > 0) {
            const size_t zeros = size_t(std::min<quint64>(count - done, zerosToShow));
            std::memset(out + done, 0, zeros);
            done += zeros;
            zerosToShow -= zeros;
            shownPosition += zeros;
            continue;
        }
        if (!buffer())
            break;
        if (bytes[next] == 0) {
            if (!passZeros())
                break;
            continue;
        }
        // Up to the next zero, which may start a run.
        size_t take = std::min(count - done, bytes.size() - next);
        if (const void* zero = std::memchr(bytes.data() + next, 0, take))
            take = size_t(static_cast<const unsigned char*>(zero) - (bytes.data() + next));
        std::memcpy(out + done, bytes.data() + next, take);
        next += take;
        done += take;
        shownPosition += take;
    }
    return (done == 0 && failed) ? -1 : ssize_t(done);
}

bool MpegInput::buffer()
{
    if (next < bytes.size())
        return true;
    if (cancelledNow()) {
        failed = true;
        return false;
    }
    bufferAt += bytes.size();
    bytes.resize(pieceBytes);
    bytes.resize(procedures.read(bytes.data(), quint32(bytes.size()), user));
    next = 0;
    return !bytes.empty();
}

bool MpegInput::passZeros()
{
    const quint64 runAt = bufferAt + next;
    const quint64 runShownAt = shownPosition;
    for (;;) {
        next += leadingZeros(bytes.data() + next, bytes.size() - next);
        if (next < bytes.size() || bytes.empty())
            break;
        if (cancelledNow()) {
            failed = true;
            return false;
        }
        bufferAt += bytes.size();
        // A hole in the file reads as zeros; it is passed without reading it.
        if (procedures.dataFrom) {
            const quint64 data = procedures.dataFrom(bufferAt, user);
            if (data > bufferAt && procedures.seek(data, user))
                bufferAt = data;
        }
        bytes.resize(zeroPieceBytes);
        bytes.resize(procedures.read(bytes.data(), quint32(bytes.size()), user));
        next = 0;
    }
    const quint64 runEnd = bufferAt + next;
    quint64 shown = std::min(runEnd - runAt, zeroRunShown);
    // Entered again after the decoder stepped back: the run ends where it was cut the first time.
    const auto earlier = std::find_if(cuts.cbegin(), cuts.cend(), [&](const Cut& cut) {
        return cut.fileAt == runEnd && cut.shownAt >= runShownAt;
    });
    if (earlier != cuts.cend())
        shown = earlier->shownAt - runShownAt;
    else if (runEnd - runAt > shown)
        cuts.push_back(Cut{runShownAt + shown, runEnd});
    zerosToShow = shown;
    return true;
}

bool MpegInput::seek(quint64 shown)
{
    quint64 inFile = shown;
    for (const Cut& cut : cuts) {
        if (cut.shownAt <= shown)
            inFile = cut.fileAt + (shown - cut.shownAt);
    }
    zerosToShow = 0;
    failed = false;
    shownPosition = shown;
    if (inFile >= bufferAt && inFile < bufferAt + bytes.size()) {
        next = size_t(inFile - bufferAt);
        return true;
    }
    if (!procedures.seek(inFile, user))
        return false;
    bufferAt = inFile;
    bytes.clear();
    next = 0;
    return true;
}
