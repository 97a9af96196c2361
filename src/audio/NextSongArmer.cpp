// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/NextSongArmer.h"

#include "audio/AudioEngine.h"
#include "audio/Foreigner.h"
#include "audio/LoudnessCache.h"
#include "base/settings.h"

#include <QVariant>

NextSongArmer::NextSongArmer()
{
    QVariant normalize(1);
    readSettingOrDefault(QStringLiteral("Audio/Normalize loudness"), normalize);
    loudness = std::make_unique<LoudnessCache>(normalize.toInt() != 0);
    loudness->measured = [this](const QString& path) {
        if (measured)
            measured(path);
    };
    AudioEngine::instance().setReplayGainUsed(loudness->isEnabled());
}

NextSongArmer::~NextSongArmer() = default;

void NextSongArmer::setLoudnessStore(LoudnessStore store)
{
    loudness->setStore(std::move(store));
}

void NextSongArmer::measure(const QString& path)
{
    loudness->measure(path);
}

void NextSongArmer::applyLoudness(Foreigner* player, const QString& path) const
{
    if (player)
        player->setGain(loudness->gainFor(path));
}

NextSongArmer::Arming NextSongArmer::arm(Foreigner* head, Foreigner* next, const QString& nextPath,
                                         Foreigner* armedBefore) const
{
    applyLoudness(next, nextPath);
    // A successor whose file cannot be opened is not armed; nothing follows seamlessly, and its turn
    // comes (and fails) as before.
    if (next && !next->prepare())
        next = nullptr;
    if (!head->handOverTo(next)) {
        if (next && !next->hasStarted())
            next->close();
        return Arming::TooLate;
    }
    if (armedBefore)
        armedBefore->close();
    return next ? Arming::Armed : Arming::NothingArmed;
}

bool NextSongArmer::tookOver(Foreigner* armed, bool isNextHead)
{
    if (!armed)
        return false;
    if (armed->hasStarted())
        return true;
    if (!isNextHead)
        armed->close();
    return false;
}
