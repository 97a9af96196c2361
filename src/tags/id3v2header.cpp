// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/id3v2header.h"

#include "tags/SongFile.h"

#include <QByteArray>
#include <QtEndian>

#include <cstring>

namespace {

qint64 footerBytes(const uchar* header)
{
    return (header[3] >= 4 && (header[5] & 0x10)) ? 10 : 0;
}

// Whether a tag may end at `offset`: the file ends there, or another tag or an MPEG frame header starts.
bool tagMayEndAt(const SongFile& song, qint64 offset)
{
    if (offset == song.size())
        return true;
    const QByteArray next = song.bytes(offset, 4);
    if (next.size() < 4)
        return false;
    if (next.startsWith("ID3"))
        return true;
    const uchar* p = reinterpret_cast<const uchar*>(next.constData());
    const int layer = (p[1] >> 1) & 3;
    const int bitRate = p[2] >> 4;
    const int sampleRate = (p[2] >> 2) & 3;
    return p[0] == 0xFF && (p[1] & 0xE0) == 0xE0 && layer != 0 && bitRate != 15 && sampleRate != 3;
}

// The size the header states as a synchsafe number: 0 when the bytes are no ID3v2 header, -1 when the
// size is no synchsafe number.
qint64 synchsafeTagBytes(const uchar* header)
{
    if (std::memcmp(header, "ID3", 3) != 0)
        return 0;
    const uchar* size = header + 6;
    if ((size[0] | size[1] | size[2] | size[3]) & 0x80)
        return -1;
    const qint64 body = (qint64(size[0]) << 21) | (qint64(size[1]) << 14) | (qint64(size[2]) << 7) | size[3];
    return 10 + body + footerBytes(header);
}

} // namespace

qint64 id3v2TagBytes(const SongFile& song, qint64 offset)
{
    const QByteArray bytes = song.bytes(offset, 10);
    if (bytes.size() < 10)
        return 0;
    const uchar* header = reinterpret_cast<const uchar*>(bytes.constData());
    const qint64 synchsafe = synchsafeTagBytes(header);
    if (synchsafe == 0 || (synchsafe > 0 && tagMayEndAt(song, offset + synchsafe)))
        return synchsafe;
    const qint64 plain = 10 + qint64(qFromBigEndian<quint32>(header + 6)) + footerBytes(header);
    if (plain != synchsafe && offset + plain <= song.size() && tagMayEndAt(song, offset + plain))
        return plain;
    return synchsafe;
}
