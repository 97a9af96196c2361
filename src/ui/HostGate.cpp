// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HostGate.h"

#include "party/KioskGuard.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QMessageBox>

// The prompt's texts were the window's own and keep its translations.
HostGate::HostGate(QSettings* settings) : kioskGuard(std::make_unique<KioskGuard>(settings))
{
    hostClock.start();
}

HostGate::~HostGate() = default;

bool HostGate::mayAct()
{
    if (kioskGuard->actionIsFree())
        return true;
    bool wrong = false;
    for (;;) {
        if (kioskGuard->locked(hostClock.elapsed())) {
            QMessageBox locked(QMessageBox::Information,
                               QCoreApplication::translate("MainWindow", "Host PIN"),
                               QCoreApplication::translate(
                                   "MainWindow", "Too many wrong PINs: please try again in a minute."),
                               QMessageBox::Ok, nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
            locked.exec();
            return false;
        }
        // No parent, on top: the window's black style sheet stays off the prompt, the About box under it.
        QInputDialog prompt(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
        prompt.setWindowTitle(QCoreApplication::translate("MainWindow", "Host PIN"));
        prompt.setLabelText(
            wrong ? QCoreApplication::translate("MainWindow", "Wrong PIN. Please enter the host PIN:")
                  : QCoreApplication::translate("MainWindow",
                                                "This is for the host. Please enter the host PIN:"));
        prompt.setTextEchoMode(QLineEdit::Password);
        if (prompt.exec() != QDialog::Accepted)
            return false;
        if (kioskGuard->check(prompt.textValue(), hostClock.elapsed()) == KioskGuard::Answer::Accepted)
            return true;
        wrong = true;
    }
}
