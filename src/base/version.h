// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// The short version text shown in the title and the About box ("2.0", "1.2 build 7").
// The two words are the program's four-part version packed as a file version:
// major.minor in the most significant word, the third and fourth parts in the least.
QByteArray versionTextFromFileVersion(std::uint32_t mostSignificant, std::uint32_t leastSignificant);

// The version text of this build, empty when the build carries no version.
QByteArray programVersionTextA();
QString programVersionText();
