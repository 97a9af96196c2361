// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Texts from tags reach the screen and the records exactly as they are, never as markup or control codes.

// A tool tip that Qt shows as the text itself. Qt renders a tool tip as rich text when its first line
// looks like markup, so such a text is escaped and wrapped to keep its line breaks and blanks; any other
// text is returned unchanged and shown as plain text, as before.
QString plainToolTip(const QString& text);

// The text with every control character (line breaks, CR, ESC, BEL, NUL, ...) replaced by a blank, so a
// tag cannot end or forge a line of the log or the playlist.
QString oneLineText(const QString& text);
