#include "startup.h"

#include "mainwindowimpl.h"

#include <QApplication>

int runMainWindow()
{
    MainWindow window;
    if (window.initializationFailed())
        return 1;
    return QApplication::exec();
}
