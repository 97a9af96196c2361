// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/libraryversions.h"

#include <SDL.h>
#include <id3/globals.h>
#include <opencv2/core/utility.hpp>
#include <taglib/taglib.h>

QVector<LibraryVersion> linkedLibraries()
{
    SDL_version sdl{};
    SDL_GetVersion(&sdl);
    return {
        {QStringLiteral("Qt"), QString::fromLatin1(qVersion()), QStringLiteral("https://www.qt.io/")},
        {QStringLiteral("libmpg123"), QStringLiteral(VIMO_MPG123_VERSION),
         QStringLiteral("https://www.mpg123.de/")},
        {QStringLiteral("SDL"), QStringLiteral("%1.%2.%3").arg(sdl.major).arg(sdl.minor).arg(sdl.patch),
         QStringLiteral("https://www.libsdl.org/")},
        {QStringLiteral("id3lib"),
         QStringLiteral("%1.%2.%3")
             .arg(ID3LIB_MAJOR_VERSION)
             .arg(ID3LIB_MINOR_VERSION)
             .arg(ID3LIB_PATCH_VERSION),
         QStringLiteral("https://id3lib.sourceforge.net/")},
        {QStringLiteral("TagLib"),
         QStringLiteral("%1.%2.%3")
             .arg(TAGLIB_MAJOR_VERSION)
             .arg(TAGLIB_MINOR_VERSION)
             .arg(TAGLIB_PATCH_VERSION),
         QStringLiteral("https://taglib.org/")},
        {QStringLiteral("OpenCV"), QString::fromStdString(cv::getVersionString()),
         QStringLiteral("https://opencv.org/")},
        {QStringLiteral("libexif"), QStringLiteral(VIMO_EXIF_VERSION),
         QStringLiteral("https://libexif.github.io/")},
    };
}
