#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the event loop as closing the window does when the process is asked to stop from
// outside: SIGTERM (log-out, shutdown, `kill`), SIGINT (Ctrl+C in a terminal) and SIGHUP
// (the terminal closed). The threads and links are then stopped and joined as usual and
// the exit code is 0. The handler only writes one byte to a socket pair; the quit runs on
// the GUI thread, where the notifier reads it. Does nothing where there are no such
// signals.
//
// Thread contract: made and destroyed on the GUI thread, at most one at a time.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

private:
    QSocketNotifier *notifier = nullptr;
};
