#include "commandline.h"
#include "config/settingsfile.h"
#include "engine/threadleitura.h"
#include "headless/headless.h"
#include "headless/quitsignals.h"
#include "highdpi.h"
#include "mainwindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
// Prints an answer to the command line (help, version, an error). A Windows program
// without a console of its own (the panel is one) writes to the console it was started
// from, or to the file or pipe its output goes to; started from Explorer, with neither,
// it shows the answer in a message box instead.
void tell(const QString &text, bool error)
{
#ifdef Q_OS_WIN
    const DWORD stream = error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    const HANDLE handle = GetStdHandle(stream);
    const bool redirected = handle != nullptr && handle != INVALID_HANDLE_VALUE;
    if (!redirected) {
        if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
            MessageBoxW(nullptr, reinterpret_cast<const wchar_t *>(text.utf16()), L"zorvik-panel",
                        error ? MB_ICONWARNING : MB_ICONINFORMATION);
            return;
        }
        std::freopen("CONOUT$", "w", error ? stderr : stdout);
    }
#endif
    std::fputs(text.toLocal8Bit().constData(), error ? stderr : stdout);
    std::fflush(error ? stderr : stdout);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("zorvik-panel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZORVIK_VERSION));
    if (CommandLine::asksForAnswer(argc, argv)) {
        // Answered without a window, so also where there is no display.
        QCoreApplication console(argc, argv);
        const CommandLine::Answer answer = CommandLine::answer(QCoreApplication::arguments(), SettingsFile::path());
        tell(answer.text, answer.exitCode != 0);
        return answer.exitCode;
    }

    if (CommandLine::asksForHeadless(argc, argv)) {
        // The station alone: no window, no display, no QApplication.
        QCoreApplication core(argc, argv);
        CommandLine::Start start;
        QString error;
        if (!CommandLine::accept(QCoreApplication::arguments(), &start, &error)) {
            tell(error + QLatin1Char('\n'), true);
            return 2;
        }
        return Headless::run({SettingsFile::path(), start.link, start.remote, start.remotePort, start.mqtt});
    }

    HighDpi::prepare();
    QApplication application(argc, argv);
    // Qt has taken its own options (-platform, -style, ...) out by now.
    CommandLine::Start start;
    QString error;
    if (!CommandLine::accept(QCoreApplication::arguments(), &start, &error)) {
        tell(error + QLatin1Char('\n'), true);
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
