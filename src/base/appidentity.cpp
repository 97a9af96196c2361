// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/appidentity.h"

#include "base/version.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// The resources live in the static core library, where nothing references them by symbol,
// so they are registered by hand before the first use.
void initVimoResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(vimo);
        return true;
    }();
    Q_UNUSED(registered)
}

QString desktopEntryName()
{
    return QStringLiteral("example.talvoren.vimo");
}

void setApplicationIdentity()
{
    initVimoResources();
    QApplication::setApplicationName(QStringLiteral("Vimo ") + programVersionText());
    QApplication::setQuitOnLastWindowClosed(true);
    QApplication::setApplicationVersion(programVersionText());
    QApplication::setOrganizationName(QStringLiteral("Talvoren"));
    // Lets the desktop match the window to its installed entry and icon.
    QGuiApplication::setDesktopFileName(desktopEntryName());
}

QStringList translationFolders()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    return {programFolder, QDir::cleanPath(programFolder + QStringLiteral("/../share/vimo/translations"))};
}

bool installTranslation(QTranslator& translator, const QLocale& locale, const QStringList& fallbackFolders)
{
    const QString fileName = QStringLiteral("vimo_") + locale.name();
    bool loaded = translator.load(fileName);
    for (const QString& folder : fallbackFolders) {
        if (loaded)
            break;
        loaded = translator.load(fileName, folder);
    }
    QCoreApplication::installTranslator(&translator);
    return loaded;
}

bool installQtTranslation(QTranslator& translator, const QLocale& locale)
{
    const bool loaded = translator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                                        QLibraryInfo::location(QLibraryInfo::TranslationsPath));
    QCoreApplication::installTranslator(&translator);
    return loaded;
}

bool installSystemTranslation(QTranslator& translator, QTranslator& qtTranslator)
{
    installQtTranslation(qtTranslator, QLocale::system());
    return installTranslation(translator, QLocale::system());
}

QIcon programIcon()
{
    initVimoResources();
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/vimo-%1.png").arg(size), QSize(size, size));
    return icon;
}
