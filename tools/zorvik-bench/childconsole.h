#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>

#include <functional>

class QSocketNotifier;

// The measured child's side of its standard input: the parent writes "count" (answered with
// one "COUNT requests=N replies=M messages=K paints=P" line, -1 for what the child cannot count), "quit", and
// whatever commands were added. Idle, it costs nothing: the descriptor only sits in the
// event loop's poll set.
//
// Thread contract: GUI thread only.
class ChildConsole : public QObject
{
public:
    struct Counts
    {
        long long requests = -1;
        long long replies = -1;
        long long messages = -1; // status bar messages shown
        long long paints = -1; // paint events the status bar was sent
    };

    explicit ChildConsole(std::function<Counts()> counts, QObject *parent = nullptr);

    // Runs `action` when the parent writes the line `command`.
    void addCommand(const QByteArray &command, std::function<void()> action);

    // Runs the event loop until "quit", the end of standard input, or `limitMs` (exit code 3).
    int exec(int limitMs);

private:
    void readInput();

    std::function<Counts()> counts;
    QList<QPair<QByteArray, std::function<void()>>> commands;
    QSocketNotifier *notifier = nullptr;
    QByteArray pending;
};
