#pragma once

#include "engine/commandqueue.h"
#include "engine/linkstate.h"
#include "engine/linkwatchdog.h"
#include "engine/monotonicclock.h"
#include "engine/switching.h"
#include "serial/serialparameters.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class LanLink;
class SerialSession;

// The way to the box, over whichever link the operator chose: the serial session with the
// queue its commands wait in for the polling thread, or the LAN link; the flags the polling
// thread reads; and the watchdog both links tell of the box's signs of life.
//
// Thread contract: GUI thread only; the polling thread reads flags() and
// isCommandQueueEmpty(), both atomic.
class BoxLink : public QObject
{
    Q_OBJECT

public:
    explicit BoxLink(const MonotonicClock &clock, QObject *parent = nullptr);
    // Stops and joins the LAN worker.
    ~BoxLink() override;

    const LinkFlags &flags() const { return link; }
    LinkMode mode() const { return link.mode.load(); }
    void setMode(LinkMode mode) { link.mode = mode; }
    // "Connect to Talmek" was chosen and, on the serial link, the port is open.
    bool isUp() const;
    // Up, and the box answered within the watchdog's time.
    bool boxAnswering() const { return isUp() && watchdog.boxAnswering(); }
    LinkWatchdog &linkWatchdog() { return watchdog; }
    SerialSession &serial() const { return *serialSession; }
    LanLink &lan() const { return *lanLink; }

    // Opens the chosen link. The serial parameters are asked for only on the serial link;
    // false, with errorString(), when its port would not open.
    bool open(const std::function<SerialParameters()> &serialParameters);
    QString errorString() const;
    void close();

    // Whether a command sent now reaches the box's way: on the LAN before "Connect" it is
    // dropped.
    Switching::Delivery delivery() const;
    // A switching command: on the serial link into the queue, on the LAN to the worker.
    void send(const Switching::Command &command);
    bool isCommandQueueEmpty() const { return commandQueue.isEmpty(); }
    // The next queued command to the serial port. A command stays queued until the port can
    // take it.
    void sendQueuedCommand();
    // The state request, on whichever link is up.
    void sendStateRequest();
    // A LanFrame to the worker while the LAN link is up.
    void sendLanFrame(const QByteArray &frame);

signals:
    // For the status bar: "LAN enabled", a box name that did not resolve, and the serial
    // line's own messages.
    void message(const QString &text);

private:
    LinkFlags link;
    LinkWatchdog watchdog;
    CommandQueue commandQueue;
    // Children of this object, so that the window's object tree holds them, yet deleted
    // here, before the watchdog they report to.
    std::unique_ptr<SerialSession> serialSession;
    std::unique_ptr<LanLink> lanLink;
};
