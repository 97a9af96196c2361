#pragma once

class QIcon;
class QLocale;
class QTranslator;

// Registers the compiled-in pictures; every user of ":/" paths calls it first.
void initVimoResources();

// Name with version, version and organisation of the running application.
void setApplicationIdentity();

// Loads "vimo_" + the locale's name from the working directory, with Qt's fallbacks
// (vimo_de_DE.qm, then vimo_de.qm, then vimo.qm), and installs the translator whatever the result.
// Returns whether a translation was found.
bool installTranslation(QTranslator& translator, const QLocale& locale);
bool installSystemTranslation(QTranslator& translator);

// The program's icon from the compiled-in resources (empty when they lack it).
QIcon programIcon();
