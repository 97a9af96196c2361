// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/coverart.h"

#include "base/boundedimage.h"
#include "base/plaintext.h"
#include "base/runlog.h"
#include "tags/SongFile.h"
#include "tags/id3v2header.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <attachedpictureframe.h>
#include <fileref.h>
#include <flacfile.h>
#include <id3v2tag.h>
#include <mp4file.h>
#include <mpegfile.h>
#include <oggfile.h>
#include <opusfile.h>
#include <vorbisfile.h>
#include <wavfile.h>
#include <xiphcomment.h>

#include <vector>

namespace {

const char* const tooLarge = QT_TRANSLATE_NOOP("CoverArt", "it is too large.");
const char* const unreadable = QT_TRANSLATE_NOOP("CoverArt", "it cannot be read.");

// The phones' limits: a cover is no larger a picture than a guest's photo.
constexpr DecodeLimits coverDecodeLimits{40'000'000, 64LL * 1024 * 1024, 40};

void logSkipped(const QString& where, const char* reason)
{
    logMessage(QCoreApplication::translate("CoverArt", "Skipped the cover picture of %1: %2")
                   .arg(oneLineText(where), QCoreApplication::translate("CoverArt", reason)));
}

struct Picture
{
    QByteArray bytes;
    bool front = false;
};

QByteArray fromTagLib(const TagLib::ByteVector& data)
{
    return QByteArray(data.data(), static_cast<int>(data.size()));
}

// TagLib reads a whole tag or metadata block into memory before it hands out a picture: what a file's
// headers claim is checked first, so that a tag claiming a gigabyte is never read.
bool id3v2Fits(const SongFile& song, qint64 offset)
{
    const qint64 bytes = id3v2TagBytes(song, offset);
    return bytes >= 0 && bytes <= maxCoverBytes && offset + bytes <= song.size();
}

bool flacBlocksFit(const SongFile& song)
{
    qint64 at = song.head().startsWith("ID3") ? id3v2TagBytes(song, 0) : 0;
    if (at < 0 || song.bytes(at, 4) != "fLaC")
        return at >= 0;
    at += 4;
    for (int block = 0; block < 4096; ++block) {
        const QByteArray header = song.bytes(at, 4);
        if (header.size() < 4)
            return false;
        const auto* bytes = reinterpret_cast<const uchar*>(header.constData());
        const qint64 length = (qint64(bytes[1]) << 16) | (qint64(bytes[2]) << 8) | bytes[3];
        const int type = bytes[0] & 0x7F;
        if (type == 6 && (length > maxCoverBytes || at + 4 + length > song.size()))
            return false;
        at += 4 + length;
        if (bytes[0] & 0x80)
            return true;
    }
    return false;
}

bool riffChunksFit(const SongFile& song)
{
    qint64 at = 12;
    for (int chunk = 0; chunk < 4096 && at + 8 <= song.size(); ++chunk) {
        const QByteArray header = song.bytes(at, 8);
        if (header.size() < 8)
            return false;
        const qint64 length = qFromLittleEndian<quint32>(header.constData() + 4);
        if ((header.startsWith("ID3 ") || header.startsWith("id3 ")) && !id3v2Fits(song, at + 8))
            return false;
        at += 8 + length + (length & 1);
    }
    return true;
}

bool headersFit(const SongFile& song)
{
    const QByteArray& head = song.head();
    if (head.startsWith("fLaC") ||
        (head.startsWith("ID3") && song.bytes(id3v2TagBytes(song, 0), 4) == "fLaC"))
        return flacBlocksFit(song);
    if (head.startsWith("ID3"))
        return id3v2Fits(song, 0);
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WAVE")
        return riffChunksFit(song);
    // Ogg and MP4 keep their pictures in packets and atoms that TagLib reads no further than the file
    // goes.
    return true;
}

void addId3v2(std::vector<Picture>& pictures, TagLib::ID3v2::Tag* tag)
{
    if (!tag)
        return;
    for (TagLib::ID3v2::Frame* frame : tag->frameList("APIC"))
        if (auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame))
            pictures.push_back({fromTagLib(picture->picture()),
                                picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover});
}

void addFlac(std::vector<Picture>& pictures, const TagLib::List<TagLib::FLAC::Picture*>& list)
{
    for (const TagLib::FLAC::Picture* picture : list)
        pictures.push_back(
            {fromTagLib(picture->data()), picture->type() == TagLib::FLAC::Picture::FrontCover});
}

void addXiph(std::vector<Picture>& pictures, TagLib::Ogg::XiphComment* comment)
{
    if (comment)
        addFlac(pictures, comment->pictureList());
}

// The pictures the song's tags hold, in the tags' order.
std::vector<Picture> embeddedPictures(const QString& path)
{
    std::vector<Picture> pictures;
    const SongFile song(path);
    if (!song.isOpen())
        return pictures;
    if (!headersFit(song)) {
        logSkipped(path, tooLarge);
        return pictures;
    }
    const TagLib::FileRef ref(QFile::encodeName(path).constData(), false);
    TagLib::File* file = ref.file();
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        addId3v2(pictures, mpeg->ID3v2Tag());
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        addFlac(pictures, flac->pictureList());
    } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
        addXiph(pictures, vorbis->tag());
    } else if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) {
        addXiph(pictures, opus->tag());
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        if (TagLib::MP4::Tag* tag = mp4->tag(); tag && tag->contains("covr"))
            for (const TagLib::MP4::CoverArt& cover : tag->item("covr").toCoverArtList())
                pictures.push_back({fromTagLib(cover.data()), false});
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        addId3v2(pictures, wav->ID3v2Tag());
    }
    return pictures;
}

// The picture files beside the song, in the order they are looked for.
struct BesideFile
{
    const char* name;
    CoverSource source;
};
constexpr BesideFile besideFiles[] = {{"cover.jpg", CoverSource::CoverFile},
                                      {"folder.jpg", CoverSource::FolderFile},
                                      {"front.jpg", CoverSource::FrontFile}};

QImage decode(const QByteArray& bytes, const QString& where, const QSize& maxSize)
{
    if (bytes.size() > maxCoverBytes) {
        logSkipped(where, tooLarge);
        return QImage();
    }
    const BoundedImage decoded = decodeBounded(bytes, maxSize, coverDecodeLimits);
    if (decoded.refusal == BoundedImage::Refusal::TooManyPixels ||
        decoded.refusal == BoundedImage::Refusal::TooMuchMemory)
        logSkipped(where, tooLarge);
    else if (decoded.image.isNull())
        logSkipped(where, unreadable);
    return decoded.image;
}

QImage pictureFile(const QFileInfo& info, const QSize& maxSize)
{
    const QString where = info.filePath();
    if (info.size() > maxCoverBytes) {
        logSkipped(where, tooLarge);
        return QImage();
    }
    QFile file(where);
    if (!file.open(QIODevice::ReadOnly)) {
        logSkipped(where, unreadable);
        return QImage();
    }
    return decode(file.read(maxCoverBytes + 1), where, maxSize);
}

} // namespace

// The order: the embedded front cover, the first embedded picture, then cover.jpg, folder.jpg and
// front.jpg beside the song. A picture that cannot be used gives way to the next.
CoverArt readCoverArt(const QString& songPath, const QSize& maxSize)
{
    CoverArt art;
    const std::vector<Picture> pictures = embeddedPictures(songPath);
    for (const Picture& picture : pictures) {
        if (!picture.front)
            continue;
        art.image = decode(picture.bytes, songPath, maxSize);
        if (!art.image.isNull()) {
            art.source = CoverSource::EmbeddedFront;
            return art;
        }
        break;
    }
    if (!pictures.empty() && !pictures.front().front) {
        art.image = decode(pictures.front().bytes, songPath, maxSize);
        if (!art.image.isNull()) {
            art.source = CoverSource::EmbeddedFirst;
            return art;
        }
    }

    const QDir folder = QFileInfo(songPath).absoluteDir();
    // Name filters match regardless of case; FIFOs and devices are no files to QDir.
    const QFileInfoList found = folder.entryInfoList(
        QStringList{QStringLiteral("cover.jpg"), QStringLiteral("folder.jpg"), QStringLiteral("front.jpg")},
        QDir::Files | QDir::Hidden, QDir::Name);
    for (const BesideFile& beside : besideFiles) {
        for (const QFileInfo& info : found) {
            if (info.fileName().compare(QLatin1String(beside.name), Qt::CaseInsensitive) != 0)
                continue;
            art.image = pictureFile(info, maxSize);
            if (!art.image.isNull()) {
                art.source = beside.source;
                return art;
            }
        }
    }
    return CoverArt();
}
