// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/SongFile.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

SongFile::SongFile(const QString& path)
{
    // Non-blocking, so that a FIFO named like a song cannot hold the thread in open(); fstat then refuses it.
    descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0)
        return;
    struct stat status = {};
    bool readable = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    if (readable) {
        fileSize = qint64(status.st_size);
        first.resize(int(qMin(fileSize, headBytes)));
        readable = read(0, first.data(), first.size()) == first.size();
    }
    if (readable && fileSize > first.size()) {
        // The tail is the file's last bytes; where they overlap the head, they are taken from it.
        const qint64 tailStart = qMax(fileSize - tailBytes, qint64(0));
        const qint64 readStart = qMax(tailStart, qint64(first.size()));
        last = first.mid(int(qMin(tailStart, qint64(first.size()))));
        const int kept = last.size();
        last.resize(int(fileSize - tailStart));
        readable = read(readStart, last.data() + kept, fileSize - readStart) == fileSize - readStart;
    } else {
        last = first;
    }
    if (!readable) {
        ::close(descriptor);
        descriptor = -1;
        fileSize = 0;
        first.clear();
        last.clear();
    }
}

SongFile::~SongFile()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

qint64 SongFile::read(qint64 offset, char* buffer, qint64 count) const
{
    qint64 done = 0;
    while (done < count) {
        const ssize_t got = ::pread(descriptor, buffer + done, size_t(count - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return done > 0 ? done : -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

QByteArray SongFile::bytes(qint64 offset, qint64 count) const
{
    count = qMax<qint64>(0, qMin(count, fileSize - offset));
    if (offset < 0 || count == 0)
        return QByteArray();
    if (offset + count <= first.size())
        return first.mid(int(offset), int(count));
    const qint64 inTail = offset - tailOffset();
    if (inTail >= 0)
        return last.mid(int(inTail), int(count));
    QByteArray result(int(count), Qt::Uninitialized);
    const qint64 got = descriptor >= 0 ? read(offset, result.data(), count) : -1;
    result.resize(int(qMax<qint64>(0, got)));
    return result;
}
