// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AllBase.h"

#include "audio/AudioEngine.h"
#include "audio/MpegInput.h"
#include "tags/tags.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <cmath>

void fileCloseProc(void* user)
{
    if (auto* file = static_cast<QFile*>(user))
        file->close();
}

quint64 fileLengthProc(void* user)
{
    const auto* file = static_cast<const QFile*>(user);
    return file ? quint64(file->size()) : 0;
}

quint32 fileReadProc(void* buffer, quint32 length, void* user)
{
    auto* file = static_cast<QFile*>(user);
    if (!file)
        return 0;
    const qint64 read = file->read(static_cast<char*>(buffer), qint64(length));
    return read > 0 ? quint32(read) : 0;
}

bool fileSeekProc(quint64 offset, void* user)
{
    auto* file = static_cast<QFile*>(user);
    return file && offset <= quint64(file->size()) && file->seek(qint64(offset));
}

void songEndSync(quint32, quint32, quint32, void* user)
{
    if (user)
        QMetaObject::invokeMethod(static_cast<QObject*>(user), "notifyFromBaseThread", Qt::DirectConnection);
}

namespace {

quint64 fileDataFromProc(quint64 offset, void* user)
{
    auto* file = static_cast<QFile*>(user);
    return file ? MpegInput::dataFrom(file->handle(), offset) : offset;
}

const FileProcedures songFileProcedures = {fileCloseProc, fileLengthProc, fileReadProc, fileSeekProc,
                                           fileDataFromProc};
} // namespace

AllBase::AllBase(const QString& songPath, SyncProc endProcedure, void* endReceiver)
    : path(songPath), endSyncProc(endProcedure), endSyncReceiver(endReceiver)
{}

AllBase::~AllBase()
{
    AllBase::close();
}

TagInfo* AllBase::readTags()
{
    return readTagInfo(path);
}

bool AllBase::play()
{
    if (!prepare())
        return false;
    AudioEngine::instance().play(stream);
    return true;
}

bool AllBase::prepare()
{
    if (stream != 0)
        return true;
    delete file;
    file = nullptr;
    // A file replaced by something else since it was added (a FIFO would hold the GUI thread in open()).
    if (!QFileInfo(path).isFile())
        return false;
    // A stream may outlive this player and delete the file on an audio thread (adoptFile): the file gets a
    // path of its own, so no string data is shared between that thread and this one.
    file = new QFile(QString(path.constData(), path.size()));
    if (!file->open(QIODevice::ReadOnly))
        return false;
    AudioEngine& engine = AudioEngine::instance();
    stream = engine.createStream(songFileProcedures, file);
    if (stream == 0)
        return false;
    engine.setEndSync(stream, endSyncProc, endSyncReceiver);
    if (!std::isnan(gain))
        engine.setGain(stream, gain);
    return true;
}

void AllBase::setGain(double decibels)
{
    gain = decibels;
    if (stream != 0 && !std::isnan(gain))
        AudioEngine::instance().setGain(stream, gain);
}

bool AllBase::handOverTo(Foreigner* next)
{
    const auto* follower = dynamic_cast<AllBase*>(next);
    return stream != 0 && AudioEngine::instance().setFollower(stream, follower ? follower->stream : 0);
}

bool AllBase::hasStarted() const
{
    return stream != 0 && !AudioEngine::instance().isUnstarted(stream);
}

qint64 AllBase::playedMilliseconds() const
{
    const qint64 frames = stream != 0 ? AudioEngine::instance().position(stream) : -1;
    return frames < 0 ? -1 : frames * 1000 / AudioEngine::sampleRate;
}

bool AllBase::pause()
{
    if (stream == 0)
        return false;
    AudioEngine::instance().pause(stream);
    return true;
}

bool AllBase::stop()
{
    return stream != 0 && AudioEngine::instance().stop(stream);
}

void AllBase::close()
{
    AudioEngine& engine = AudioEngine::instance();
    // A stream prepared but never started goes, without an end notification; one that is still alive
    // reads on from the file, so it takes the file over instead.
    if (stream != 0)
        engine.discardUnstarted(stream);
    if (file && (stream == 0 || !engine.adoptFile(stream, file)))
        delete file;
    file = nullptr;
    stream = 0;
}

quint32 AllBase::streamHandle() const
{
    return stream;
}

QString AllBase::filePath() const
{
    return path;
}
