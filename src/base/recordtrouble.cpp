// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/recordtrouble.h"

#include <QMutex>
#include <QMutexLocker>
#include <utility>

namespace {

// Taken after the log's mutex (the log notes its own writes under it), so nothing here may log.
QMutex& troubleMutex()
{
    static QMutex mutex;
    return mutex;
}

RecordTroubleListener& listener()
{
    static RecordTroubleListener told;
    return told;
}

// The records whose latest write failed, one bit each, and why.
unsigned failingRecords = 0;
QString reasons[3];

} // namespace

void noteRecordWritten(RunRecord record, bool written, const QString& reason)
{
    const unsigned bit = 1U << static_cast<unsigned>(record);
    QMutexLocker lock(&troubleMutex());
    const bool wasFailing = (failingRecords & bit) != 0;
    if (wasFailing != written)
        return;
    failingRecords = written ? failingRecords & ~bit : failingRecords | bit;
    reasons[static_cast<int>(record)] = reason;
    if (listener())
        listener()(record, !written, reason);
}

void setRecordTroubleListener(RecordTroubleListener told)
{
    QMutexLocker lock(&troubleMutex());
    listener() = std::move(told);
    // A new listener hears of what fails already.
    for (const RunRecord record : {RunRecord::Log, RunRecord::Playlist, RunRecord::Photos})
        if (listener() && (failingRecords & (1U << static_cast<unsigned>(record))) != 0)
            listener()(record, true, reasons[static_cast<int>(record)]);
}
