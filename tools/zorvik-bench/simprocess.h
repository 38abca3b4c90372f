#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>

// talmek-sim as a child process: started with a link, its console lines collected while
// the caller's event loop runs, stopped with "quit" (or killed) when it goes.
class SimProcess
{
public:
    explicit SimProcess(const QString &program);
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts it and waits for the line that starts with `readyPrefix`; returns the rest of
    // that line (the pty path, the UDP address), empty on failure.
    QString start(const QStringList &arguments, const QString &readyPrefix, int timeoutMs = 5000);
    // The first line from index `from` on that starts with `prefix`, waiting up to `timeoutMs`.
    QString waitForLine(const QString &prefix, int from, int timeoutMs);
    // Sends "state" and returns the counter that follows `key` ("commands=") on the first
    // STATS line that has it, or -1.
    long long statsCounter(const QString &key, int timeoutMs = 3000);
    QString errorText() const { return error; }

private:
    void collect();

    QProcess process;
    QStringList lines;
    QString error;
};
