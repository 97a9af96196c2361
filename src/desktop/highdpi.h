// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Lets Qt scale the whole window by the screen's factor (200 % on a laptop, 150 %, a 4K television), so
// every size the window computes is in device-independent pixels and the grid keeps its proportions.
// Must run before the application object exists.
void enableHighDpiScaling();
