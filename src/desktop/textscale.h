// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QString;

// How much larger than their specified sizes the grid, the queue row, the genre buttons and the photo
// window are drawn, so that guests across the room read on a large screen what they read on a full HD one.
struct TextScale
{
    // Sizes in device-independent pixels: cells, rows, buttons.
    double sizes = 1.0;
    // Point sizes of their texts. It differs from `sizes` where the screen's fonts are set at another
    // dpi than 96: the text then keeps to the cells rather than to the dpi.
    double points = 1.0;

    int pixels(int specified) const;
    double pointSize(double specified) const { return specified * points; }
    bool operator==(const TextScale& other) const;
    bool operator!=(const TextScale& other) const { return !(*this == other); }
};

// The setting `[UI] Text scale`: 0 follows the screen; any other value multiplies the specified sizes, within
// these bounds.
constexpr double automaticTextScale = 0.0;
constexpr double smallestTextScale = 0.5;
constexpr double largestTextScale = 4.0;

struct TextScaleSetting
{
    enum class Trouble {
        none,
        notANumber, // not a number, or below 0: the text follows the screen
        outOfBounds // clamped to the nearest bound
    };
    double value = automaticTextScale;
    Trouble trouble = Trouble::none;
};

// The setting as the settings file holds it; a decimal comma is read as a point.
TextScaleSetting readTextScaleSetting(const QString& stored);

// The scale on a screen `screenHeight` device-independent pixels high whose fonts are set at `logicalDpi`,
// for a setting read by readTextScaleSetting(). Followed automatically, a screen's height in physical pixels
// over 1080 says how much larger everything is than on a full HD screen; the desktop's scaling has already
// made each device-independent pixel that many physical ones, so in the window's own units only the screen's
// height over 1080 remains. Never smaller than specified: a smaller screen, and a desktop that enlarges more
// than the screen asks, keep the specified look.
TextScale textScaleFor(int screenHeight, double logicalDpi, double setting);
