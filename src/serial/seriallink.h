#pragma once

#include "engine/monotonicclock.h"
#include "engine/protocol.h"
#include "engine/serialreply.h"
#include "serialparameters.h"

#include <QObject>
#include <QString>

#include <atomic>

class QSerialPort;

// The serial port to the box: opening and closing it, writing frames, reading replies, and
// closing a line that is gone and opening it again when it comes back.
//
// Thread contract: GUI thread only. The polling thread sees the line only through the
// open flag this class keeps (given at construction), never the port.
class SerialLink : public QObject
{
    Q_OBJECT

public:
    // How often a line that went away is tried again.
    static constexpr qint64 ReopenIntervalMs = 2000;

    SerialLink(std::atomic<bool> &openFlag, const MonotonicClock &clock, QObject *parent = nullptr);

    // Applies the parameters (port name, baud rate both ways, data bits, parity, stop
    // bits, flow control) and opens the port for reading and writing.
    bool open(const SerialParameters &parameters);
    // Why the last open failed: the port's own words, and the likely cause and remedy.
    QString errorString() const;
    // Closes the port; a line that went away is no longer tried again.
    void close();
    bool isOpen() const;
    // What the last open applied.
    const SerialParameters &parameters() const { return applied; }

    // Opens a line that went away again, with the same parameters, once ReopenIntervalMs
    // have passed since it went or since the last try. True when it is open again.
    bool reopenIfDue();

    // Writes `count` bytes of the transmit buffer while the port is open.
    void write(const Protocol::TxBuffer &tx, int count);
    // One tick's read of what the box has sent (see SerialReply::read).
    SerialReply::Result readReply(Protocol::RxBuffer &rx);

signals:
    // The device went away while open (adapter unplugged, box's pty closed); the port has
    // been closed and reopenIfDue() will try it again.
    void lineLost();

private:
    QSerialPort *port;
    QString openFailure;
    SerialParameters applied;
    std::atomic<bool> &openFlag;
    const MonotonicClock &clock;
    bool reopening = false;
    qint64 lostOrTriedAt = 0;
};
