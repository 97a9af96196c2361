// SPDX-License-Identifier: GPL-3.0-or-later
#include "camera/photocomment.h"

#include "base/plainfile.h"
#include "base/plaintext.h"
#include "base/runlog.h"
#include "base/wholefile.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSize>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>
#include <memory>

namespace {

// The JPEG length field counts itself, so a segment's payload is at most 65533 bytes.
constexpr int maximumExifBlockSize = 0xFFFF - 2;
constexpr char asciiCharacterCode[8] = {'A', 'S', 'C', 'I', 'I', 0, 0, 0};
constexpr ExifTag userCommentTag = EXIF_TAG_USER_COMMENT;

struct ExifDataRelease
{
    void operator()(ExifData* data) const { exif_data_unref(data); }
};
using ExifDataPointer = std::unique_ptr<ExifData, ExifDataRelease>;

// A comment read back is cut to this many bytes, as it always was.
constexpr std::size_t maximumReadComment = 1023;

// The longest start of `text` (UTF-8) of at most `limit` bytes that ends on a character boundary.
std::size_t characterBoundary(const std::string& text, std::size_t limit)
{
    if (text.size() <= limit)
        return text.size();
    std::size_t end = limit;
    while (end > 0 && (uchar(text[end]) & 0xC0) == 0x80)
        --end;
    return end;
}

// The text of a raw UserComment: eight bytes naming its character code, then the text. ASCII and undefined
// comments are taken as UTF-8 (what this program and most tools write), Unicode ones are UCS-2 in the
// EXIF data's byte order unless a byte order mark says otherwise. The text ends at its first terminator.
std::string userCommentText(const unsigned char* data, unsigned int size, ExifByteOrder order)
{
    constexpr unsigned int codeSize = 8;
    if (size >= codeSize && std::memcmp(data, "UNICODE\0", codeSize) == 0) {
        QString text;
        bool bigEndian = order == EXIF_BYTE_ORDER_MOTOROLA;
        for (unsigned int i = codeSize; i + 1 < size; i += 2) {
            const ushort unit =
                bigEndian ? ushort((data[i] << 8) | data[i + 1]) : ushort((data[i + 1] << 8) | data[i]);
            if (i == codeSize && (unit == 0xFEFF || unit == 0xFFFE)) {
                bigEndian = unit == 0xFEFF ? bigEndian : !bigEndian;
                continue;
            }
            if (unit == 0)
                break;
            text += QChar(unit);
        }
        return text.toStdString();
    }
    const unsigned int start = size >= codeSize ? codeSize : 0;
    const char* text = reinterpret_cast<const char*>(data) + start;
    return std::string(text, strnlen(text, size - start));
}

// Gives the texts below their translation context, where lupdate finds them too.
struct PhotoCommentText
{
    Q_DECLARE_TR_FUNCTIONS(PhotoComment)
};

// The entry of `tag` in `content`, made with the tag's defaults when missing.
ExifEntry* entryFor(ExifContent* content, ExifTag tag)
{
    if (ExifEntry* existing = exif_content_get_entry(content, tag))
        return existing;
    ExifEntry* entry = exif_entry_new();
    if (!entry)
        return nullptr;
    exif_content_add_entry(content, entry);
    exif_entry_initialize(entry, tag);
    exif_entry_unref(entry);
    return entry;
}

void setLong(ExifContent* content, ExifTag tag, ExifLong value)
{
    ExifEntry* entry = entryFor(content, tag);
    if (entry && entry->format == EXIF_FORMAT_LONG && entry->size >= 4)
        exif_set_long(entry->data, EXIF_BYTE_ORDER_INTEL, value);
}

void setShort(ExifContent* content, ExifTag tag, ExifShort value)
{
    ExifEntry* entry = entryFor(content, tag);
    if (entry && entry->format == EXIF_FORMAT_SHORT && entry->size >= 2)
        exif_set_short(entry->data, EXIF_BYTE_ORDER_INTEL, value);
}

bool addUserComment(ExifContent* content, const std::string& comment)
{
    ExifMem* memory = exif_mem_new_default();
    if (!memory)
        return false;
    ExifEntry* entry = exif_entry_new_mem(memory);
    const ExifLong size = ExifLong(sizeof asciiCharacterCode + comment.size());
    void* data = entry ? exif_mem_alloc(memory, size) : nullptr;
    if (data) {
        entry->data = static_cast<unsigned char*>(data);
        entry->size = size;
        entry->tag = userCommentTag;
        entry->components = size;
        entry->format = EXIF_FORMAT_UNDEFINED;
        std::memcpy(entry->data, asciiCharacterCode, sizeof asciiCharacterCode);
        std::copy(comment.begin(), comment.end(), entry->data + sizeof asciiCharacterCode);
        exif_content_add_entry(content, entry);
    }
    if (entry)
        exif_entry_unref(entry);
    exif_mem_unref(memory);
    return data != nullptr;
}

// The serialised EXIF block (starting with "Exif\0\0") for a photo of `size` with `comment`.
QByteArray exifBlock(const QSize& size, const std::string& comment)
{
    const ExifDataPointer data(exif_data_new());
    if (!data)
        return QByteArray();
    exif_data_set_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_data_type(data.get(), EXIF_DATA_TYPE_COMPRESSED);
    exif_data_set_byte_order(data.get(), EXIF_BYTE_ORDER_INTEL);
    exif_data_fix(data.get());

    ExifContent* exif = data->ifd[EXIF_IFD_EXIF];
    setLong(exif, EXIF_TAG_PIXEL_X_DIMENSION, ExifLong(size.width()));
    setLong(exif, EXIF_TAG_PIXEL_Y_DIMENSION, ExifLong(size.height()));
    setShort(exif, EXIF_TAG_COLOR_SPACE, 1);
    if (!addUserComment(exif, comment))
        return QByteArray();

    unsigned char* bytes = nullptr;
    unsigned int length = 0;
    exif_data_save_data(data.get(), &bytes, &length);
    QByteArray block(reinterpret_cast<const char*>(bytes), int(length));
    std::free(bytes);
    return block;
}

// Cuts `comment` to at most `length` bytes without splitting a UTF-8 sequence.
std::string cutAtCharacterBoundary(const std::string& comment, std::size_t length)
{
    if (length >= comment.size())
        return comment;
    while (length > 0 && (static_cast<unsigned char>(comment[length]) & 0xC0) == 0x80)
        --length;
    return comment.substr(0, length);
}

// The EXIF block of the comment, shortening the comment until the block fits one JPEG segment.
QByteArray fittingExifBlock(const QSize& size, const std::string& comment, const QString& fileName)
{
    std::string stored = comment;
    QByteArray block = exifBlock(size, stored);
    while (block.size() > maximumExifBlockSize && !stored.empty()) {
        const std::size_t excess = std::size_t(block.size() - maximumExifBlockSize);
        stored = cutAtCharacterBoundary(stored, stored.size() > excess ? stored.size() - excess : 0);
        block = exifBlock(size, stored);
    }
    if (stored.size() != comment.size()) {
        logMessage(PhotoCommentText::tr(
                       "The comment for the photo \"%1\" was shortened from %2 to %3 bytes to fit into "
                       "the photo.")
                       .arg(oneLineText(fileName))
                       .arg(comment.size())
                       .arg(stored.size()));
    }
    return block.size() > maximumExifBlockSize ? QByteArray() : block;
}

bool startsWith(const QByteArray& bytes, int offset, const char* expected, int length)
{
    return bytes.size() >= offset + length &&
           std::memcmp(bytes.constData() + offset, expected, static_cast<size_t>(length)) == 0;
}

// Whether one of the segments before the image data is an EXIF APP1 segment.
bool holdsExif(const QByteArray& jpeg)
{
    int position = 2;
    while (position + 4 <= jpeg.size() && quint8(jpeg[position]) == 0xFF) {
        const quint8 marker = quint8(jpeg[position + 1]);
        if (marker == 0xFF) { // fill byte before a marker
            ++position;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // start of scan, end of image
            return false;
        const int length = (quint8(jpeg[position + 2]) << 8) | quint8(jpeg[position + 3]);
        if (marker == 0xE1 && startsWith(jpeg, position + 4, "Exif\0\0", 6))
            return true;
        position += 2 + length;
    }
    return false;
}

// Where the bytes to keep begin: a camera's JFIF APP0 segment of 16 bytes is replaced by the EXIF segment,
// anything else stays behind the start-of-image marker.
int keptPartStart(const QByteArray& jpeg)
{
    static const char jfifSegment[] = {'\xFF', '\xE0', 0, 16, 'J', 'F', 'I', 'F', 0};
    return startsWith(jpeg, 2, jfifSegment, sizeof jfifSegment) && jpeg.size() >= 20 ? 20 : 2;
}

// The photo's width and height from its header, 0 × 0 when it has none: decoding the whole image only
// to measure it would let a photo that claims a huge size hold the program for seconds and gigabytes.
QSize photoSize(const QByteArray& jpeg)
{
    QBuffer bytes;
    bytes.setData(jpeg);
    QImageReader reader(&bytes, "jpeg");
    const QSize size = reader.size();
    return size.isValid() ? size : QSize(0, 0);
}

} // namespace

bool writePhotoComment(const std::string& fileName, const std::string& comment)
{
    const QString path = QFile::decodeName(QByteArray::fromStdString(fileName));
    // Only the photo itself is ever written: a symbolic link would have the rewrite replace its target
    // wherever that is, and a FIFO or device is no photo (opening a FIFO would wait for a writer).
    if (!isPlainFile(path)) {
        logMessage(PhotoCommentText::tr("The photo \"%1\" is no plain file; the comment was not stored.")
                       .arg(oneLineText(path)));
        return false;
    }
    QFile photo(path);
    if (!photo.open(QIODevice::ReadOnly))
        return false;
    const qint64 expectedSize = photo.size();
    const QByteArray jpeg = photo.read(expectedSize);
    photo.close();
    if (jpeg.size() != expectedSize) {
        logMessage(
            PhotoCommentText::tr("Reading error: only %1 of %2 bytes of the photo \"%3\" could be read; "
                                 "the comment was not stored.")
                .arg(jpeg.size())
                .arg(expectedSize)
                .arg(oneLineText(path)));
        return false;
    }
    if (!startsWith(jpeg, 0, "\xFF\xD8", 2)) {
        logMessage(PhotoCommentText::tr("The photo \"%1\" is no JPEG file; the comment was not stored.")
                       .arg(oneLineText(path)));
        return false;
    }
    if (holdsExif(jpeg)) {
        logMessage(
            PhotoCommentText::tr("The photo \"%1\" already holds EXIF data; the comment was not stored.")
                .arg(oneLineText(path)));
        return false;
    }

    const QByteArray block = fittingExifBlock(photoSize(jpeg), comment, path);
    if (block.isEmpty())
        return false;
    const int segmentLength = block.size() + 2;
    QByteArray rewritten;
    rewritten.reserve(4 + segmentLength + jpeg.size());
    rewritten.append("\xFF\xD8\xFF\xE1", 4);
    rewritten.append(char(segmentLength >> 8));
    rewritten.append(char(segmentLength & 0xFF));
    rewritten.append(block);
    const int kept = keptPartStart(jpeg);
    rewritten.append(jpeg.constData() + kept, jpeg.size() - kept);

    // Written beside the photo and renamed over it, so a failed write never leaves half a photo.
    QString error;
    if (!writeWholeFile(path, rewritten, &error)) {
        logMessage(PhotoCommentText::tr("The comment could not be stored in the photo \"%1\": %2")
                       .arg(oneLineText(path), error));
        return false;
    }
    return true;
}

std::string readPhotoComment(ExifData* data)
{
    if (!data)
        return std::string();
    const ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], userCommentTag);
    if (!entry || !entry->data)
        return std::string();
    std::string comment = userCommentText(entry->data, entry->size, exif_data_get_byte_order(data));
    comment.resize(characterBoundary(comment, maximumReadComment));
    const std::size_t last = comment.find_last_not_of(' ');
    comment.erase(last == std::string::npos ? 0 : last + 1);
    return comment;
}

std::string readPhotoCommentFromFile(const std::string& fileName)
{
    if (!QFileInfo(QFile::decodeName(QByteArray::fromStdString(fileName))).isFile())
        return std::string();
    const ExifDataPointer data(exif_data_new_from_file(fileName.c_str()));
    return readPhotoComment(data.get());
}
