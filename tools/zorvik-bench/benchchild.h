#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

// The parent's side of one measured child (see PollChild): started with its own
// environment, waited for until it prints "READY", asked for its counters, stopped with
// "quit" (or killed) when this object goes.
class BenchChild
{
public:
    struct Counts
    {
        long long requests = -1;
        long long replies = -1;
        long long messages = -1;
        long long paints = -1;
    };

    BenchChild(const QString &program, const QProcessEnvironment &environment);
    ~BenchChild();
    BenchChild(const BenchChild &) = delete;
    BenchChild &operator=(const BenchChild &) = delete;

    // Starts it and waits for "READY"; false (and errorText()) when it fails or says no.
    bool start(const QStringList &arguments, int timeoutMs);
    qint64 pid() const { return process.processId(); }
    bool isRunning() const { return process.state() == QProcess::Running; }
    // Asks for the child's counters; false when no answer comes within `timeoutMs`.
    bool counts(Counts &out, int timeoutMs = 3000);
    // Writes `command` and returns the first line after it that starts with `answerPrefix`,
    // empty when none comes within `timeoutMs`.
    QString request(const QByteArray &command, const QString &answerPrefix, int timeoutMs);
    // Writes "quit" and waits; true when it ended by itself with exit code 0.
    bool stop(int timeoutMs = 5000);
    QString errorText() const { return error; }

private:
    void collect();
    QString waitForLine(const QString &prefix, int from, int timeoutMs);

    QProcess process;
    QStringList lines;
    QString error;
};
