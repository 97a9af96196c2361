// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QSettings;

// One of the six party modes (0 to 5, as on the mode dialog's slider) and the switches it stands for.
// Adding of songs is never switched off: in a kiosk mode it is a host action behind the PIN.
class PartyMode
{
public:
    static constexpr int lowest = 0;
    static constexpr int highest = 5;
    // "unlocked party": no kiosk, and the webcam question as ever.
    static constexpr int standard = 1;

    // A value outside 0 to 5 stands for the standard mode.
    explicit PartyMode(int index = standard);

    int index() const { return mode; }
    bool kiosk() const { return mode >= 2; }
    bool wishPhotos() const { return mode == 1 || mode == 3 || mode == 5; }
    bool stopMotion() const { return mode == 1 || mode == 4 || mode == 5; }
    // The camera is wanted at all: for the portraits of wishes or for the stop-motion film.
    bool camera() const { return wishPhotos() || stopMotion(); }

    // The mode of the settings group "Party", key "Mode"; the standard mode is written when missing.
    static PartyMode stored(QSettings& settings);
    void store(QSettings& settings) const;
    // Seconds between two stop-motion frames ("Party", "StopMotionSeconds", default 20, at least 1).
    static int stopMotionSeconds(QSettings& settings);

private:
    int mode = standard;
};
