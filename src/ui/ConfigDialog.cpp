// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ConfigDialog.h"

#include "party/KioskGuard.h"
#include "party/PartyMode.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

ConfigDialog::ConfigDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Party mode"));
    auto* layout = new QVBoxLayout(this);
    slider = new QSlider(Qt::Horizontal, this);
    slider->setRange(0, 5);
    slider->setPageStep(1);
    slider->setTickPosition(QSlider::TicksBelow);
    descriptionLabel = new QLabel(this);
    descriptionLabel->setWordWrap(true);
    descriptionLabel->setMinimumWidth(360);
    pinBox = new QWidget(this);
    auto* pinLayout = new QFormLayout(pinBox);
    pinEdit = new QLineEdit(pinBox);
    pinRepeat = new QLineEdit(pinBox);
    for (QLineEdit* field : {pinEdit, pinRepeat})
        field->setEchoMode(QLineEdit::Password);
    pinLayout->addRow(tr("New host PIN:"), pinEdit);
    pinLayout->addRow(tr("Repeat the PIN:"), pinRepeat);
    pinProblem = new QLabel(pinBox);
    pinProblem->setObjectName(QStringLiteral("pinProblem"));
    pinProblem->setWordWrap(true);
    pinProblem->hide();
    pinLayout->addRow(pinProblem);
    pinBox->hide();
    // Made after the PIN fields, so Tab goes from the slider to the PIN, the PIN again, then Close.
    auto* closeButton = new QPushButton(tr("Close"), this);
    setTabOrder(slider, pinEdit);
    setTabOrder(pinEdit, pinRepeat);
    setTabOrder(pinRepeat, closeButton);
    layout->addWidget(slider);
    layout->addWidget(descriptionLabel);
    layout->addWidget(pinBox);
    layout->addWidget(closeButton, 0, Qt::AlignRight);
    connect(slider, &QSlider::valueChanged, this, &ConfigDialog::SliderValueChanged);
    connect(closeButton, &QPushButton::clicked, this, &ConfigDialog::closeIt);
    SliderValueChanged(slider->value());
}

QString ConfigDialog::description() const
{
    return descriptionLabel->text();
}

void ConfigDialog::offerNewPin(bool offer)
{
    pinOffered = offer;
    SliderValueChanged(slider->value());
}

QString ConfigDialog::newPin() const
{
    return pinOffered && pinEdit->text() == pinRepeat->text() ? pinEdit->text() : QString();
}

QString ConfigDialog::pinTrouble() const
{
    if (!pinOffered || !PartyMode(slider->value()).kiosk())
        return QString();
    if (pinEdit->text() != pinRepeat->text())
        return tr("The two PINs differ: please type the same PIN in both fields, or choose a mode without "
                  "kiosk.");
    if (pinEdit->text().size() < KioskGuard::shortestPin)
        return tr("Kiosk mode needs a host PIN of at least four characters, or choose a mode without kiosk.");
    return QString();
}

QString ConfigDialog::modeDescription(int mode)
{
    switch (mode) {
    case 0:
        return tr(
            "Home \"forever alone\" mode: Kiosk mode OFF, Photos for wishes OFF, Photos for stop-motion OFF, "
            "Adding of songs ON");
    case 1:
        return tr(
            "Default \"unlocked party\" mode: Kiosk mode OFF, Photos for wishes ON, Photos for stop-motion "
            "ON, Adding of songs ON");
    case 2:
        return tr(
            "Party \"no camera\" mode: Kiosk mode ON, Photos for wishes OFF, Photos for stop-motion OFF");
    case 3:
        return tr(
            "Party \"no stop-motion\" mode: Kiosk mode ON, Photos for wishes ON, Photos for stop-motion OFF");
    case 4:
        return tr(
            "Party \"no wish-photos\" mode: Kiosk mode ON, Photos for wishes OFF, Photos for stop-motion ON");
    case 5:
        return tr("Party \"Deluxe\" mode: Kiosk mode ON, Photos for wishes ON, Photos for stop-motion ON");
    default:
        return QString();
    }
}

void ConfigDialog::closeIt()
{
    close();
}

void ConfigDialog::SliderValueChanged(int value)
{
    const QString text = modeDescription(value);
    if (!text.isEmpty())
        descriptionLabel->setText(text);
    pinBox->setVisible(pinOffered && PartyMode(value).kiosk());
}

void ConfigDialog::reject()
{
    close();
}

void ConfigDialog::closeEvent(QCloseEvent* event)
{
    // A PIN it cannot take would leave the old mode in force with no sign but a log line: say so here,
    // and keep what was typed.
    const QString trouble = pinTrouble();
    pinProblem->setText(trouble);
    pinProblem->setVisible(!trouble.isEmpty());
    if (!trouble.isEmpty()) {
        event->ignore();
        (pinEdit->text().size() < KioskGuard::shortestPin ? pinEdit : pinRepeat)
            ->setFocus(Qt::OtherFocusReason);
        return;
    }
    // Every way out counts as accepted, never as rejected: the dialog has nothing to cancel.
    emit accepted();
    event->accept();
}
