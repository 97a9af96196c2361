#pragma once

// Runs the program on an existing application object: the main window's start-up, then the event loop.
// Returns 1 when the start-up failed (no sound), otherwise the event loop's result.
int runMainWindow();
