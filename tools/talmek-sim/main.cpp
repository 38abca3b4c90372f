#include "console.h"
#include "simoptions.h"
#include "simulator.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Line-buffered even into a pipe, so a parent process sees each line as it is printed.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("talmek-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZORVIK_VERSION));

    SimOptions options;
    QString error;
    if (!parseSimOptions(QCoreApplication::arguments(), &options, &error)) {
        Console::error(error);
        return 2;
    }
    Simulator simulator(options);
    if (!simulator.start(&error)) {
        Console::error(error);
        return 1;
    }
    return QCoreApplication::exec();
}
