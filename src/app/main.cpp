#include "mainwindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    qRegisterMetaType<MainWindow *>("MainWindow*");
    return application.exec();
}
