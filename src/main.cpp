// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"
#include "base/appidentity.h"
#include "desktop/highdpi.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char* argv[])
{
    enableHighDpiScaling();
    QApplication application(argc, argv);
    setApplicationIdentity();
    QTranslator translator;
    QTranslator qtTranslator;
    installSystemTranslation(translator, qtTranslator);
    return runMainWindow();
}
