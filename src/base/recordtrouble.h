// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

// Whether what the run writes into its folder still reaches the disk: each record says after each write,
// from whatever thread wrote it, and whoever shows it to the host is told when a record starts failing and
// when it works again, not at every write.

enum class RunRecord {
    Log,
    Playlist,
    Photos,
};

// `reason` says what failed when not `written`. Safe from any thread; never logs.
void noteRecordWritten(RunRecord record, bool written, const QString& reason = QString());

// Called on the writing thread when `record` starts failing (`failing`, with the reason) or works again.
// One listener at a time; an empty one leaves. Setting it waits for a call under way, so the listener's
// owner may go once it has set an empty one.
using RecordTroubleListener = std::function<void(RunRecord record, bool failing, const QString& reason)>;
void setRecordTroubleListener(RecordTroubleListener listener);
