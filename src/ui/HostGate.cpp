// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HostGate.h"

#include "party/KioskGuard.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

namespace {
// No parent, on top: the window's black style sheet stays off the prompt, the About box under it.
const Qt::WindowFlags onTop = Qt::Dialog | Qt::WindowStaysOnTopHint;
} // namespace

// The prompt's texts were the window's own and keep its translations.
HostGate::HostGate(QSettings* settings) : kioskGuard(std::make_unique<KioskGuard>(settings))
{
    hostClock.start();
}

HostGate::~HostGate()
{
    delete lockNotice.data();
}

QInputDialog* HostGate::prompt() const
{
    return openPrompt.data();
}

bool HostGate::mayAct()
{
    if (kioskGuard->actionIsFree())
        return true;
    if (openPrompt) {
        openPrompt->raise();
        openPrompt->activateWindow();
        return false;
    }
    bool wrong = false;
    for (;;) {
        if (kioskGuard->locked(hostClock.elapsed())) {
            showLockNotice();
            return false;
        }
        QString pin;
        if (!askPin(wrong, &pin))
            return false;
        if (kioskGuard->check(pin, hostClock.elapsed()) == KioskGuard::Answer::Accepted)
            return true;
        wrong = true;
    }
}

bool HostGate::askPin(bool wrong, QString* pin)
{
    QInputDialog asking(nullptr, onTop);
    asking.setWindowTitle(QCoreApplication::translate("MainWindow", "Host PIN"));
    asking.setLabelText(
        wrong
            ? QCoreApplication::translate("MainWindow", "Wrong PIN. Please enter the host PIN:")
            : QCoreApplication::translate("MainWindow", "This is for the host. Please enter the host PIN:"));
    asking.setTextEchoMode(QLineEdit::Password);
    // Not modal, and not for ever: a guest who opens it and walks away must not stop the others' wishes.
    asking.setWindowModality(Qt::NonModal);
    QTimer patience;
    patience.setSingleShot(true);
    patience.setInterval(promptTimeout);
    QObject::connect(&patience, &QTimer::timeout, &asking, &QDialog::reject);
    QObject::connect(&asking, &QInputDialog::textValueChanged, &patience, qOverload<>(&QTimer::start));
    QEventLoop waiting;
    QObject::connect(&asking, &QDialog::finished, &waiting, &QEventLoop::quit);
    openPrompt = &asking;
    asking.show();
    asking.raise();
    asking.activateWindow();
    patience.start();
    waiting.exec();
    openPrompt = nullptr;
    *pin = asking.textValue();
    return asking.result() == QDialog::Accepted;
}

void HostGate::showLockNotice()
{
    if (lockNotice) {
        lockNotice->raise();
        return;
    }
    // Shown, not waited for: the party goes on under it, and it goes away by itself.
    auto* notice = new QMessageBox(
        QMessageBox::Information, QCoreApplication::translate("MainWindow", "Host PIN"),
        QCoreApplication::translate("MainWindow", "Too many wrong PINs: please try again in a minute."),
        QMessageBox::Ok, nullptr, onTop);
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->setWindowModality(Qt::NonModal);
    QTimer::singleShot(promptTimeout, notice, &QWidget::close);
    lockNotice = notice;
    notice->show();
}
