// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PartyModeSwitch.h"

#include "base/runlog.h"
#include "party/KioskGuard.h"
#include "party/PlayQueue.h"
#include "party/PortraitJobs.h"
#include "party/StopMotion.h"
#include "ui/ConfigDialog.h"

#include <QCoreApplication>
#include <QSlider>

// The log's texts were the window's own and keep its translations.
PartyModeSwitch::PartyModeSwitch(QSettings* store, KioskGuard& guard) : settings(store), kioskGuard(guard)
{
    if (settings) {
        mode = PartyMode::stored(*settings);
        stopMotionSeconds = PartyMode::stopMotionSeconds(*settings);
    }
}

PartyModeSwitch::~PartyModeSwitch() = default;

std::optional<PartyMode> PartyModeSwitch::ask()
{
    ConfigDialog dialog;
    dialog.modeSlider()->setValue(mode.index());
    dialog.offerNewPin(!kioskGuard.hasPin());
    dialog.exec();
    const PartyMode chosen(dialog.modeSlider()->value());
    if (chosen.kiosk() && !kioskGuard.hasPin() && !kioskGuard.setPin(dialog.newPin())) {
        logMessage(QCoreApplication::translate(
            "MainWindow", "Kiosk mode needs a host PIN of at least four characters, typed twice alike: the "
                          "party mode stays as it was."));
        return std::nullopt;
    }
    if (settings)
        chosen.store(*settings);
    return chosen;
}

void PartyModeSwitch::apply(PartyMode chosen, PlayQueue* queue, const PortraitJobs& portraits)
{
    mode = chosen;
    // A kiosk without a PIN (a mode written into the settings by hand) would lock the host out as well.
    const bool kiosk = mode.kiosk() && kioskGuard.hasPin();
    if (mode.kiosk() && !kiosk)
        logMessage(QCoreApplication::translate(
            "MainWindow", "Kiosk mode needs a host PIN: choose the mode again in the mode dialog (Ctrl+M)."));
    kioskGuard.setKiosk(kiosk);
    if (queue)
        queue->setWebcam(mode.wishPhotos() ? portraits.camera() : nullptr);
    if (mode.stopMotion() && portraits.camera()) {
        if (!stopMotion) {
            const QString folder = outputSubfolder(QStringLiteral("Stop motion"));
            stopMotion = std::make_unique<StopMotion>(portraits.camera(), folder, stopMotionSeconds,
                                                      [&portraits]() { return portraits.snapshotRunning(); });
        }
        stopMotion->start();
    } else if (stopMotion) {
        stopMotion->stop();
    }
    logMessage(QCoreApplication::translate("MainWindow", "Party mode: %1")
                   .arg(ConfigDialog::modeDescription(mode.index())));
}

void PartyModeSwitch::finishStopMotion()
{
    if (!stopMotion)
        return;
    const QString frames = stopMotion->folder();
    stopMotion.reset();
    if (!frames.isEmpty())
        writePartyFilm(frames, runFolder() + QStringLiteral("Vimo party film.mp4"));
}
