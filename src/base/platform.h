// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QSettings;

// Whether the desktop's own folder dialog is used for the first songs. "Force Qt dialog" (written as 0
// when missing) set to non-zero selects the program's own dialog.
bool useNativeFolderDialog(QSettings* settings);
