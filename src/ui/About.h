// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class AboutDialog;
}
class QDate;
class QPoint;
class QRect;
class QSize;
class QUrl;

// The About box: version, release date, contacts, the manual link, the libraries and a quit button that
// ends the program through the main window, even in full screen.
class About : public QDialog
{
    Q_OBJECT

public:
    explicit About(QObject* mainWindow);
    ~About() override;

    const Ui::AboutDialog& form() const { return *ui; }

    // Escape closes the dialog as every other way does, ending in accepted().
    void reject() override;

signals:
    // The host followed the party-mode line.
    void partyModeWanted();
    // Someone followed a link to another program (the manual, the web site, the mail address, the log).
    void linkWanted(const QUrl& url);

public slots:
    void closeIt();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::AboutDialog> ui;
    QObject* mainWindow = nullptr;
};

// Where the About box of `box` size goes: centred on the main window's `window` frame unless that covers
// `keepFree` (the button that closes it), otherwise beside or below it; always inside `screen` when it
// fits there (an empty `screen` sets no bounds).
QPoint aboutBoxPosition(const QRect& window, const QRect& keepFree, const QSize& box, const QRect& screen);

// Puts the About `box` there, first narrowing it beside `keepFree` when the screen has no room for both.
void placeAboutBox(QWidget* box, const QRect& window, const QRect& keepFree, const QRect& screen);

// The release date from a build date in the compiler's "Mmm dd yyyy" form, as the locale's long date,
// or "" for a date that does not exist.
QString releaseDateText(const QString& buildDate);
// The release date of this build.
QString releaseDateText();

// The manual's file name (translatable, so a translation can point at a manual of its own).
QString manualFileName();
// The manual's full path: beside the program, or where an installation put it.
QString manualPath();
