// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The form in which a typed text and a song's tags are compared when a guest or the host searches: "Beyoncé",
// "BEYONCE" and "beyonce" typed on a phone, and "café" stored as "e" with a combining accent, all meet.
// Compatibility forms are unfolded (NFKD), combining marks dropped, case folded, and the letters that carry
// no separable mark spelled as a keyboard without them types them ("ø" as "o", "æ" as "ae", "ß" as "ss").
// Blanks and line breaks stay, so the library's "artist\ntitle" keeps its two parts.
QString foldedForSearch(const QString& text);
