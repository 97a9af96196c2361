// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Runs the program on an existing application object: the main window's start-up, then the event loop.
// Returns 1 when the start-up failed (no sound), 0 at once when another start of the program runs (its
// window comes to the front instead), otherwise the event loop's result.
int runMainWindow();
