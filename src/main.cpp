#include "appidentity.h"
#include "startup.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    setApplicationIdentity();
    QTranslator translator;
    QTranslator qtTranslator;
    installSystemTranslation(translator, qtTranslator);
    return runMainWindow();
}
