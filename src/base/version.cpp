// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/version.h"

QByteArray versionTextFromFileVersion(std::uint32_t mostSignificant, std::uint32_t leastSignificant)
{
    const unsigned major = mostSignificant >> 16;
    const unsigned minor = mostSignificant & 0xFFFFu;
    // The whole least significant word counts as the build, read as a signed number:
    // 1.2.3.4 is build 196612, and a word with the top bit set is no build at all.
    const auto build = static_cast<std::int32_t>(leastSignificant);
    QByteArray text = QByteArray::number(major) + '.' + QByteArray::number(minor);
    if (build > 0)
        text += " build " + QByteArray::number(build);
    return text;
}

QByteArray programVersionTextA()
{
#if defined(VIMO_VERSION_MAJOR) && defined(VIMO_VERSION_MINOR) && defined(VIMO_VERSION_PATCH) &&             \
    defined(VIMO_VERSION_TWEAK)
    const std::uint32_t mostSignificant = (std::uint32_t(VIMO_VERSION_MAJOR) << 16) | VIMO_VERSION_MINOR;
    const std::uint32_t leastSignificant = (std::uint32_t(VIMO_VERSION_PATCH) << 16) | VIMO_VERSION_TWEAK;
    return versionTextFromFileVersion(mostSignificant, leastSignificant);
#else
    return {};
#endif
}

QString programVersionText()
{
    return QString::fromLatin1(programVersionTextA());
}
