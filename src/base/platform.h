// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QSettings;

// Asks logind not to suspend the machine while the jukebox runs. The inhibitor lock is held until
// the process ends. Without a system bus or logind nothing happens. Returns whether a lock is held.
bool requestKeepAwake();

// Whether the desktop's own folder dialog is used for the first songs. "Force Qt dialog" (written as 0
// when missing) set to non-zero selects the program's own dialog.
bool useNativeFolderDialog(QSettings* settings);
