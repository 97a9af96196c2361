#pragma once

#include <QDialog>

class QLabel;
class QSlider;

// Describes the six party modes on a slider. Nothing in the program opens it yet; every way of closing
// it reports accepted().
class ConfigDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConfigDialog(QWidget* parent = nullptr);

    QString description() const;
    QSlider* modeSlider() const { return slider; }

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
};
