#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class AboutDialog;
}
class QDate;

// The About box: version, release date, contacts, the manual link, the libraries and a quit button that
// ends the program through the main window, even in full screen.
class About : public QDialog
{
    Q_OBJECT

public:
    explicit About(QObject* mainWindow);
    ~About() override;

    const Ui::AboutDialog& form() const { return *ui; }

signals:
    // The host followed the party-mode line.
    void partyModeWanted();

public slots:
    void closeIt();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::AboutDialog> ui;
    QObject* mainWindow = nullptr;
};

// The release date from a build date in the compiler's "Mmm dd yyyy" form, as the locale's long date,
// or "" for a date that does not exist.
QString releaseDateText(const QString& buildDate);
// The release date of this build.
QString releaseDateText();

// The manual's file name (translatable, so a translation can point at a manual of its own).
QString manualFileName();
// The manual's full path: beside the program, or where an installation put it.
QString manualPath();
