#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

// Control lines from standard input, read without blocking the event loop (Unix only).
// End of input only stops reading: a parent may close our stdin and keep us running.
class StdinReader : public QObject
{
    Q_OBJECT

public:
    explicit StdinReader(QObject *parent = nullptr);
    bool start();

signals:
    void lineReceived(const QString &line);

private:
    void readAvailable();

    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_buffer;
    bool m_discardingLongLine = false;
};
