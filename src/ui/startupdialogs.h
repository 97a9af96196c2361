// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's questions and alarms while it starts. They have no parent, so the window's black style
// sheet does not hide their text.

// The quick setup's question whether to use a webcam; true for yes.
bool askForWebcam();
// The sound back end could not start: the program cannot run.
void showSoundFailure();
void showOutOfMemory();
