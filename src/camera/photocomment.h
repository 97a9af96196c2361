// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// libexif names its type so; the forward declaration must use that name.
struct _ExifData; // NOLINT(bugprone-reserved-identifier)
typedef struct _ExifData ExifData;

// Stores `comment` (UTF-8) as the EXIF UserComment of the JPEG `fileName` (a local 8-bit path) by
// rewriting the file with a fresh APP1 segment after its start-of-image marker. A comment too long for
// one segment is shortened at a character boundary. A photo that already carries EXIF data, a file that
// is no JPEG or that cannot be read completely, a symbolic link and anything but a plain file stay
// untouched; no other file is ever written. Returns whether the file was rewritten.
bool writePhotoComment(const std::string& fileName, const std::string& comment);

// The UserComment of loaded EXIF data as UTF-8 (ASCII and undefined codes as UTF-8, Unicode decoded), cut to
// 1023 bytes at a character boundary, without trailing blanks; "" when there is none.
std::string readPhotoComment(ExifData* data);

// The same for a photo on disk: "" when it has no EXIF data or no comment, or is no plain file.
std::string readPhotoCommentFromFile(const std::string& fileName);
