#include "engine/threadleitura.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    // Registered before the polling thread starts, so its first queued call finds the type.
    qRegisterMetaType<MainWindow *>("MainWindow*");
    ThreadLeitura polling(&window);
    return application.exec();
}
