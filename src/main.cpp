#include "appidentity.h"

#include <QApplication>
#include <QIcon>
#include <QTranslator>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    setApplicationIdentity();
    QTranslator translator;
    installSystemTranslation(translator);

    QWidget window;
    window.setWindowTitle(QApplication::applicationName());
    window.setWindowIcon(programIcon());
    window.show();
    return application.exec();
}
