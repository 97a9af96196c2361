// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AllBaseBackend.h"

#include "audio/AudioEngine.h"
#include "base/runlog.h"

AllBaseBackend::~AllBaseBackend()
{
    if (initialized)
        AudioEngine::instance().setDeviceListener({});
}

bool AllBaseBackend::init(quintptr ownerWindow)
{
    Q_UNUSED(ownerWindow)
    if (initialized)
        return true;
    const QString versionProblem = AudioEngine::libraryVersionProblem();
    if (!versionProblem.isEmpty()) {
        logMessage(versionProblem);
        return false;
    }
    QString failure;
    if (!AudioEngine::instance().open(&failure)) {
        logMessage(failure);
        return false;
    }
    AudioEngine::instance().setDeviceListener({[this] { emit deviceLost(); }, [this] { emit deviceBack(); }});
    initialized = true;
    return true;
}

void AllBaseBackend::free()
{
    if (!initialized)
        return;
    AudioEngine::instance().close();
    AudioEngine::instance().setDeviceListener({});
    initialized = false;
}

bool AllBaseBackend::isInitialized() const
{
    return initialized;
}
