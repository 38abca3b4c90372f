#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>

class QSocketNotifier;

// The measured child's side of its standard input: the parent writes "count" (answered with
// one "COUNT requests=N replies=M" line, -1 for what the child cannot count) and "quit".
// Idle, it costs nothing: the descriptor only sits in the event loop's poll set.
//
// Thread contract: GUI thread only.
class ChildConsole : public QObject
{
public:
    struct Counts
    {
        long long requests = -1;
        long long replies = -1;
    };

    explicit ChildConsole(std::function<Counts()> counts, QObject *parent = nullptr);

    // Runs the event loop until "quit", the end of standard input, or `limitMs` (exit code 3).
    int exec(int limitMs);

private:
    void readInput();

    std::function<Counts()> counts;
    QSocketNotifier *notifier = nullptr;
    QByteArray pending;
};
