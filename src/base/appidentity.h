// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class QIcon;
class QLocale;
class QTranslator;

// Registers the compiled-in pictures; every user of ":/" paths calls it first.
void initVimoResources();

// The name of the installed desktop entry (without ".desktop"), by which the desktop matches the window
// and the media player to their entry and icon.
QString desktopEntryName();

// Name with version, version and organisation of the running application.
void setApplicationIdentity();

// Where translations are looked for after the working directory: the program's folder (a build folder),
// then <prefix>/share/vimo/translations beside an installed program.
QStringList translationFolders();

// Loads "vimo_" + the locale's name from the working directory, with Qt's fallbacks
// (vimo_de_DE.qm, then vimo_de.qm, then vimo.qm); when none is there, from each of `fallbackFolders`
// in turn. Installs the translator whatever the result. Returns whether a translation was found.
bool installTranslation(QTranslator& translator, const QLocale& locale,
                        const QStringList& fallbackFolders = translationFolders());
// Loads Qt's own translation ("qtbase_" + the locale's name from Qt's translations folder), so the
// folder dialogs and the message boxes' buttons speak the same language. Installs the translator
// whatever the result. Returns whether a translation was found.
bool installQtTranslation(QTranslator& translator, const QLocale& locale);
// Both, ours and Qt's, for the system's locale.
bool installSystemTranslation(QTranslator& translator, QTranslator& qtTranslator);

// The program's icon from the compiled-in resources (empty when they lack it).
QIcon programIcon();
