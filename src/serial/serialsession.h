#pragma once

#include "engine/linkwatchdog.h"
#include "engine/monotonicclock.h"
#include "engine/protocol.h"
#include "serialparameters.h"

#include <QObject>
#include <QString>

#include <atomic>

class SerialLink;

// A conversation with the box over the serial line: it composes each frame in its transmit
// buffer and writes it, asks for the firmware revision on connecting and holds state
// requests back until that reply is in, and reads the box's replies into its receive
// buffer. Each sign of life goes to the link watchdog; each complete frame is announced by
// replyRead() and stays in reply() until the next one. What the operator is to read of the
// line (connected, lost) comes as message().
//
// Thread contract: GUI thread only. The polling thread sees the line only through the open
// flag given at construction.
class SerialSession : public QObject
{
    Q_OBJECT

public:
    // How long the first state request waits for the firmware reply after connecting: both
    // replies would otherwise arrive glued together and be dropped.
    static constexpr qint64 FirmwareWaitMs = 300;

    SerialSession(std::atomic<bool> &openFlag, LinkWatchdog &watchdog, const MonotonicClock &clock,
                  QObject *parent = nullptr);

    // Opens the port with these parameters; on success says so and asks for the firmware
    // revision.
    bool open(const SerialParameters &parameters);
    // Why the last open failed: the port's own words, and the likely cause and remedy.
    QString errorString() const;
    // Closes the port; a line that went away is no longer tried again.
    void close();
    bool isOpen() const;
    // What the last open applied.
    const SerialParameters &parameters() const;
    // Tries a line that went away again when it is due (see SerialLink::reopenIfDue); when it
    // is back, as on open().
    void reopenIfDue();

    // A queued command (see Protocol::composeQueuedCommand).
    void sendCommand(qint16 element);
    // The state request, unless the firmware reply is still awaited.
    void sendStateRequest();
    // One polling tick's read of what the box has sent.
    void readReply();
    // The latest complete frame read, at the start of the buffer.
    const Protocol::RxBuffer &reply() const { return rx; }

signals:
    // For the status bar: "Connected to …" on opening, "Serial line lost: …" when the device
    // goes away while open (it is tried again by reopenIfDue()).
    void message(const QString &text);
    // A complete frame is in reply(); a firmware reply has already ended the wait.
    void replyRead();
    // The device went away while open; it is tried again by reopenIfDue().
    void lineLost();

private:
    void connected();

    SerialLink *link;
    LinkWatchdog &watchdog;
    const MonotonicClock &clock;
    Protocol::TxBuffer tx{};
    Protocol::RxBuffer rx{};
    bool awaitingFirmware = false;
    qint64 firmwareRequestedAt = 0;
};
