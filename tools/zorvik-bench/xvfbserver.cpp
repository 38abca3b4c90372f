#include "xvfbserver.h"

#include "benchsupport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
// Display numbers well above the ones desktops and CI runners take.
constexpr int FirstDisplay = 90;
constexpr int DisplaysTried = 60;
// Another server may claim a number between the check and the start: try a few.
constexpr int StartAttempts = 4;

QString lockFile(int number) { return QStringLiteral("/tmp/.X%1-lock").arg(number); }
QString socketFile(int number) { return QStringLiteral("/tmp/.X11-unix/X%1").arg(number); }
} // namespace

XvfbServer::~XvfbServer() { stop(); }

QString XvfbServer::program() { return QStandardPaths::findExecutable(QStringLiteral("Xvfb")); }

bool XvfbServer::start(int timeoutMs)
{
    const QString executable = program();
    if (executable.isEmpty()) {
        error = QStringLiteral("Xvfb is not installed (Debian package xvfb)");
        return false;
    }
    process.setProgram(executable);
    // Its notices (keymap compiler, missing fonts) say nothing about the panel.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    int attempts = 0;
    for (int n = FirstDisplay; n < FirstDisplay + DisplaysTried && attempts < StartAttempts; ++n) {
        if (QFileInfo::exists(lockFile(n)) || QFileInfo::exists(socketFile(n)))
            continue;
        ++attempts;
        if (tryDisplay(n, timeoutMs))
            return true;
    }
    if (error.isEmpty())
        error = QStringLiteral("no free display number from :%1 to :%2")
                    .arg(FirstDisplay)
                    .arg(FirstDisplay + DisplaysTried - 1);
    return false;
}

bool XvfbServer::tryDisplay(int number, int timeoutMs)
{
    const QString name = QStringLiteral(":%1").arg(number);
    process.setArguments({name, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                          QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    process.start();
    if (!process.waitForStarted(timeoutMs)) {
        error = QStringLiteral("Xvfb did not start: %1").arg(process.errorString());
        return false;
    }
    // Ready once it listens on its socket; it exits at once when the number was taken.
    const bool ready = BenchSupport::waitUntil(
        [&] { return QFileInfo::exists(socketFile(number)) || process.state() == QProcess::NotRunning; }, timeoutMs);
    if (ready && process.state() == QProcess::Running) {
        displayName = name;
        return true;
    }
    error = process.state() == QProcess::Running
        ? QStringLiteral("Xvfb %1 opened no socket within %2 ms").arg(name).arg(timeoutMs)
        : QStringLiteral("Xvfb %1 exited with code %2").arg(name).arg(process.exitCode());
    stop();
    return false;
}

void XvfbServer::stop()
{
    displayName.clear();
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}
