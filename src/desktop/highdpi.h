// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QRect;
class QWidget;

// Lets Qt scale the whole window by the screen's factor (200 % on a laptop, 150 %, a 4K television), so
// every size the window computes is in device-independent pixels and the grid keeps its proportions.
// Must run before the application object exists.
void enableHighDpiScaling();

// Where a window of `frame` (its frame included) goes on a screen whose free area is `available`: no larger
// than that area, and moved inside it. An empty `available` leaves it where it is.
QRect fittedFrame(const QRect& frame, const QRect& available);

// Shrinks and moves `dialog` into the free area of the screen it opens on (its centre's screen). A box
// too wide lets its texts wrap; one still too large scrolls its contents, its row of buttons below them.
void fitDialogToScreen(QWidget* dialog);
// The same into `area` of a screen (screen coordinates).
void fitDialogInto(QWidget* dialog, const QRect& area);

// From now on every dialog of the program is fitted to its screen as it is shown: at 200 % a box laid
// out for a 96 dpi screen can be wider than the whole screen, with its buttons out of reach.
void fitEveryDialogToItsScreen();
