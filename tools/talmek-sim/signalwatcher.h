#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the main thread (Unix). The handler only
// writes one byte to a socket pair, the one thing that is safe to do in it; the event
// loop reads the other end.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;
    bool start();

signals:
    void terminationRequested();

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};
