// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/startupdialogs.h"

#include <QCoreApplication>
#include <QMessageBox>

// The texts were the window's own and keep its translations.
namespace {

QString criticalTitle()
{
    return QStringLiteral("Vimo - ") + QCoreApplication::translate("MainWindow", "critical error");
}

} // namespace

bool askForWebcam()
{
    QMessageBox question(QMessageBox::Question, QCoreApplication::translate("MainWindow", "Vimo quick setup"),
                         QCoreApplication::translate("MainWindow", "Do you want to use a webcam?"),
                         QMessageBox::Yes | QMessageBox::No, nullptr,
                         Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    question.setButtonText(QMessageBox::Yes, QCoreApplication::translate("MainWindow", "Yes"));
    question.setButtonText(QMessageBox::No, QCoreApplication::translate("MainWindow", "No"));
    return question.exec() == QMessageBox::Yes;
}

void showSoundFailure()
{
    QMessageBox::critical(
        nullptr, criticalTitle(),
        QCoreApplication::translate("MainWindow", "The sound back end could not be initialized.") +
            QStringLiteral("\n\n") +
            QCoreApplication::translate("MainWindow", "Please start Vimo again after you ensured that\nyour "
                                                      "sound device is correctly set up.") +
            QStringLiteral("\n\n") +
            QCoreApplication::translate("MainWindow", "In many cases, all you need to do is plugging in\n"
                                                      "and/or turning on your speakers."));
}

void showOutOfMemory()
{
    QMessageBox::critical(nullptr, criticalTitle(),
                          QCoreApplication::translate("MainWindow", "Out of memory."));
}
