// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QSettings;
class QString;
class QVariant;

// The process-wide settings object (organisation "Talvoren", application "Vimo", native format),
// created on the first call. The main window takes it over and deletes it at shutdown.
QSettings* settingsStore();

// Deletes the settings object at shutdown and forgets it, so no later call sees a dangling store.
void releaseSettingsStore(QSettings* settings);

// Replaces the default in `value` by the stored value of `key` in the open group,
// or stores the default when the key is missing. Does not sync.
void readSettingOrDefault(const QString& key, QVariant& value);

// The pattern used for whole groups: reads `key` as int, writing `defaultValue` when missing.
int readIntOrWriteDefault(QSettings& group, const QString& key, int defaultValue);
