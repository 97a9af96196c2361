// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/Foreigner.h"

#include <QString>
#include <limits>

class QFile;

// The procedures through which the audio engine reads a song; `user` is the song's QFile (may be null).
void fileCloseProc(void* user);
quint64 fileLengthProc(void* user);
// Bytes read into `buffer`; 0 at the end of the file, on a read error and for a null file.
quint32 fileReadProc(void* buffer, quint32 length, void* user);
// Moves the read position to `offset`; false when the file cannot go there or is null.
bool fileSeekProc(quint64 offset, void* user);

// The end procedure of every song: emits the signal notifyFromBaseThread() of the QObject `user`.
// Runs on an audio thread; the receiver connects the signal queued to reach the GUI thread.
void songEndSync(quint32 handle, quint32 channel, quint32 data, void* user);

// One song's player over the process's audio engine. Its operations run on the GUI thread.
class AllBase : public Foreigner
{
public:
    AllBase(const QString& path, SyncProc endSyncProc, void* endSyncReceiver);
    // Lets go of the song like close(): a stream still playing plays on to its end.
    ~AllBase() override;
    AllBase(const AllBase&) = delete;
    AllBase& operator=(const AllBase&) = delete;

    TagInfo* readTags() override;
    // Starts the song from the beginning, or resumes it when it has a stream. False when the file cannot
    // be opened or holds no playable audio; nothing is logged.
    bool play() override;
    // False when the song has no stream.
    bool pause() override;
    // Silences and frees the stream, without an end notification. False when the song has no stream.
    bool stop() override;
    // Forgets the stream and lets go of the file; a stream that was prepared but never started goes with
    // it. Always safe.
    void close() override;
    bool prepare() override;
    bool handOverTo(Foreigner* next) override;
    bool hasStarted() const override;
    void setGain(double decibels) override;
    qint64 playedMilliseconds() const override;

    // The current stream's handle in the audio engine (0 = none); stale once the stream has ended.
    quint32 streamHandle() const;
    QString filePath() const;

private:
    QFile* file = nullptr;
    quint32 stream = 0;
    QString path;
    SyncProc endSyncProc = nullptr;
    void* endSyncReceiver = nullptr;
    double gain = std::numeric_limits<double>::quiet_NaN();
};
