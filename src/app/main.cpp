#include "engine/threadleitura.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(ZORVIK_VERSION));
    MainWindow window;
    window.show();
    // Stopped and joined before the window goes, as it asks the window for work.
    ThreadLeitura polling(&window);
    return application.exec();
}
