// SPDX-License-Identifier: GPL-3.0-or-later
// The photo comment on arbitrary JPEG bytes: reading a comment out of any file, and the rewrite, which
// either leaves the file as it was or writes exactly one EXIF segment in front of the photo's own bytes,
// from which the comment reads back.
//
// Input: one byte with the comment's length n, n bytes of comment, then the photo's bytes.
#include "camera/photocomment.h"
#include "fuzzsupport.h"

#include <QFile>

#include <algorithm>
#include <string>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What reading gives back for a stored comment: up to its first zero byte, at most 1023 bytes, without
// trailing blanks.
std::string expectedReadBack(std::string comment)
{
    comment = comment.substr(0, std::min(comment.find('\0'), std::size_t(1023)));
    const std::size_t last = comment.find_last_not_of(' ');
    comment.erase(last == std::string::npos ? 0 : last + 1);
    return comment;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    vimofuzz::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t commentSize = std::min<size_t>(data[0], size - 1);
    const std::string comment(reinterpret_cast<const char*>(data + 1), commentSize);
    const QByteArray photo(reinterpret_cast<const char*>(data + 1 + commentSize),
                           int(size - 1 - commentSize));
    const QString path = vimofuzz::inputFile(reinterpret_cast<const uint8_t*>(photo.constData()),
                                             size_t(photo.size()), "photo.jpg");
    const std::string fileName = QFile::encodeName(path).toStdString();

    readPhotoCommentFromFile(fileName);
    const bool written = writePhotoComment(fileName, comment);
    const QByteArray after = contents(path);
    if (!written) {
        vimofuzz::check(after == photo, "a refused photo stays as it was");
        return 0;
    }
    vimofuzz::check(after.startsWith("\xFF\xD8\xFF\xE1") && after.size() >= 6, "an APP1 segment first");
    const int segment = (quint8(after[4]) << 8) | quint8(after[5]);
    vimofuzz::check(segment >= 8 && 4 + segment <= after.size(), "the segment fits the file");
    vimofuzz::check(after.mid(6, 6) == QByteArray("Exif\0\0", 6), "an EXIF segment");
    // Behind the segment: the photo without its start marker, or without a camera's JFIF segment too.
    const QByteArray kept = after.mid(4 + segment);
    vimofuzz::check(kept == photo.mid(2) || kept == photo.mid(20), "the photo's own bytes kept");
    vimofuzz::check(readPhotoCommentFromFile(fileName) == expectedReadBack(comment),
                    "the comment reads back");
    return 0;
}
