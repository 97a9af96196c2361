// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QSlider;
class QWidget;

// Describes the six party modes on a slider; the main window opens it for the host and applies the mode
// when it closes. Every way of closing it reports accepted(); it stays open while a kiosk mode lacks an
// acceptable first PIN, and says why.
class ConfigDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConfigDialog(QWidget* parent = nullptr);

    QString description() const;
    QSlider* modeSlider() const { return slider; }
    // Shows the fields for a new host PIN while a kiosk mode is on the slider (the first time one is chosen).
    void offerNewPin(bool offer);
    // The PIN typed twice alike, or "" when the two differ or none was offered.
    QString newPin() const;
    // What keeps the dialog from closing with a kiosk mode: the PINs differ or are too short; "" when
    // nothing does.
    QString pinTrouble() const;
    QLineEdit* pinField() const { return pinEdit; }
    QLineEdit* pinRepeatField() const { return pinRepeat; }

    // The translated description of mode 0 to 5, or "" for any other value.
    static QString modeDescription(int mode);

    // Escape closes the dialog as every other way does, ending in accepted().
    void reject() override;

public slots:
    void closeIt();
    void SliderValueChanged(int value);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* descriptionLabel = nullptr;
    QSlider* slider = nullptr;
    QWidget* pinBox = nullptr;
    QLineEdit* pinEdit = nullptr;
    QLineEdit* pinRepeat = nullptr;
    QLabel* pinProblem = nullptr;
    bool pinOffered = false;
};
