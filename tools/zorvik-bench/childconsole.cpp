#include "childconsole.h"

#include "report.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

namespace {
constexpr int LimitExitCode = 3;
// Longer than any command the parent writes: more is not a command of its.
constexpr int MaxPending = 256;
} // namespace

ChildConsole::ChildConsole(std::function<Counts()> countSource, QObject *parent)
    : QObject(parent)
    , counts(std::move(countSource))
    , notifier(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this))
{}

void ChildConsole::addCommand(const QByteArray &command, std::function<void()> action)
{
    commands.append({command, std::move(action)});
}

int ChildConsole::exec(int limitMs)
{
    QEventLoop loop;
    int code = 0;
    connect(notifier, &QSocketNotifier::activated, &loop, [&] {
        readInput();
        for (int at; (at = pending.indexOf('\n')) >= 0;) {
            const QByteArray line = pending.left(at).trimmed();
            pending.remove(0, at + 1);
            if (line == "count") {
                const Counts c = counts();
                Report::print(QStringLiteral("COUNT requests=%1 replies=%2 messages=%3 paints=%4")
                                  .arg(c.requests)
                                  .arg(c.replies)
                                  .arg(c.messages)
                                  .arg(c.paints));
            } else if (line == "quit") {
                loop.quit();
            } else {
                for (const auto &command : qAsConst(commands))
                    if (line == command.first)
                        command.second();
            }
        }
        if (pending.size() > MaxPending)
            pending.clear();
        // End of input: the parent is gone or done.
        if (!notifier->isEnabled())
            loop.quit();
    });
    QTimer::singleShot(limitMs, &loop, [&] {
        Report::print(QStringLiteral("CHILD stopped: no \"quit\" within %1 ms").arg(limitMs));
        code = LimitExitCode;
        loop.quit();
    });
    loop.exec();
    return code;
}

void ChildConsole::readInput()
{
    char buffer[256];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got > 0)
        pending.append(buffer, int(got));
    else if (got == 0 || errno != EINTR)
        notifier->setEnabled(false);
}
