// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/textscale.h"

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <cmath>

namespace {
// The screen and the dpi the specified sizes were made for.
constexpr double specifiedScreenHeight = 1080.0;
constexpr double specifiedDpi = 96.0;
} // namespace

int TextScale::pixels(int specified) const
{
    return qRound(specified * sizes);
}

bool TextScale::operator==(const TextScale& other) const
{
    return qFuzzyCompare(sizes, other.sizes) && qFuzzyCompare(points, other.points);
}

TextScaleSetting readTextScaleSetting(const QString& stored)
{
    TextScaleSetting setting;
    const QString text = stored.trimmed().replace(QLatin1Char(','), QLatin1Char('.'));
    if (text.isEmpty())
        return setting;
    bool number = false;
    const double value = text.toDouble(&number);
    if (!number || !std::isfinite(value) || value < 0) {
        setting.trouble = TextScaleSetting::Trouble::notANumber;
        return setting;
    }
    if (value == automaticTextScale)
        return setting;
    setting.value = std::clamp(value, smallestTextScale, largestTextScale);
    if (setting.value != value)
        setting.trouble = TextScaleSetting::Trouble::outOfBounds;
    return setting;
}

TextScale textScaleFor(int screenHeight, double logicalDpi, double setting)
{
    if (setting > 0) {
        const double chosen = std::clamp(setting, smallestTextScale, largestTextScale);
        return {chosen, chosen};
    }
    TextScale scale;
    if (screenHeight <= 0)
        return scale;
    const double dpi = logicalDpi > 0 && std::isfinite(logicalDpi) ? logicalDpi : specifiedDpi;
    const double screen = std::min(largestTextScale, screenHeight / specifiedScreenHeight);
    scale.sizes = std::max(1.0, screen);
    scale.points = std::max(1.0, screen * specifiedDpi / dpi);
    return scale;
}
