#include "commandline.h"
#include "config/settingsfile.h"
#include "engine/threadleitura.h"
#include "highdpi.h"
#include "mainwindow.h"
#include "quitsignals.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("zorvik-panel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZORVIK_VERSION));
    if (CommandLine::asksForAnswer(argc, argv)) {
        // Answered without a window, so also where there is no display.
        QCoreApplication console(argc, argv);
        const CommandLine::Answer answer = CommandLine::answer(QCoreApplication::arguments(), SettingsFile::path());
        std::fputs(answer.text.toLocal8Bit().constData(), answer.exitCode == 0 ? stdout : stderr);
        return answer.exitCode;
    }

    HighDpi::prepare();
    QApplication application(argc, argv);
    // Qt has taken its own options (-platform, -style, ...) out by now.
    CommandLine::Start start;
    QString error;
    if (!CommandLine::accept(QCoreApplication::arguments(), &start, &error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 2;
    }
    // Asked to stop from outside, the panel closes as when its window is closed.
    QuitSignals quitSignals;
    MainWindow window;
    window.show();
    // Stopped and joined before the window goes, as it asks the window for work.
    ThreadLeitura polling(&window);
    if (start.connect)
        QTimer::singleShot(0, &window, &MainWindow::connectToBox);
    return application.exec();
}
