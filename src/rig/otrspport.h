#pragma once

#include "engine/monotonicclock.h"
#include "otrsp.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QSerialPort;

// The serial port on which a contest logger speaks OTRSP to the station: 9600 baud, 8 data
// bits, no parity, 1 stop bit, no flow control. Every AUX command read is reported; the
// queries are answered on the port at once. A port that cannot be opened, or goes away while
// open, is tried again every RetryIntervalMs until it opens or close() is called.
//
// Every interval is measured on the MonotonicClock; a timer only wakes service(), which does
// what the clock says is due, so tests on a hand-moved clock call service() instead.
//
// Thread contract: GUI thread only (the port lives there).
class OtrspPort : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 RetryIntervalMs = 2000;

    explicit OtrspPort(const MonotonicClock &clock, QObject *parent = nullptr);
    ~OtrspPort() override;

    // A port name from the port list or a device path.
    void open(const QString &portName);
    // Closes the port; it is no longer tried again.
    void close();
    bool isOpen() const;
    // The last code received for radio 1 or 2, whether or not it selected anything; 0 before any.
    int auxCode(int radio) const { return responder.auxCode(radio); }

public slots:
    void service();

signals:
    // Every AUX command read: radio 1 or 2, code 0..99.
    void aux(int radio, int code);
    // A status note: the port opened, cannot be opened, or went away.
    void message(const QString &text);

private:
    enum class State { Closed, Open, Waiting };

    void openNow();
    void onReadyRead();
    void retryLater(const QString &note);

    const MonotonicClock &clock;
    QSerialPort *port;
    QTimer wakeUp;
    QString portName;
    State state = State::Closed;
    qint64 retryAt = 0;
    // The note of the outage going on, so that each try that fails alike adds none.
    QString outageNote;
    Otrsp::LineReader reader;
    Otrsp::Responder responder;
};
