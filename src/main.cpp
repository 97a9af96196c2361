// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"
#include "app/startup.h"
#include "base/appidentity.h"
#include "desktop/highdpi.h"

#include <QApplication>
#include <QDir>
#include <QTranslator>

int main(int argc, char* argv[])
{
    enableHighDpiScaling();
    QApplication application(argc, argv);
    setApplicationIdentity();
    QTranslator translator;
    QTranslator qtTranslator;
    installSystemTranslation(translator, qtTranslator);
    const CommandLine commandLine(QCoreApplication::arguments(), QDir::currentPath());
    if (commandLine.endsAtOnce())
        return commandLine.answer();
    return runMainWindow(commandLine.paths());
}
