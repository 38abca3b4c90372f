#include "boxlink.h"

#include "engine/protocol.h"
#include "lan/lanlink.h"
#include "serial/serialsession.h"

BoxLink::BoxLink(const MonotonicClock &clock, QObject *parent)
    : QObject(parent)
    , watchdog(clock)
    , serialSession(std::make_unique<SerialSession>(link.serialOpen, watchdog, clock, this))
    , lanLink(std::make_unique<LanLink>(clock, this))
{
    connect(serialSession.get(), &SerialSession::message, this, &BoxLink::message);
    connect(lanLink.get(), &LanLink::hostNotFound, this,
            [this] { emit message(tr("HOST error: check LAN Settings!")); });
}

BoxLink::~BoxLink() = default;

bool BoxLink::isUp() const
{
    return link.mode == LinkMode::Serial ? link.serialOpen.load() : link.lanLinkEnabled.load();
}

bool BoxLink::open(const std::function<SerialParameters()> &serialParameters)
{
    if (link.mode == LinkMode::Serial)
        return serialSession->open(serialParameters());
    link.lanLinkEnabled = true;
    emit message(tr("LAN enabled"));
    return true;
}

QString BoxLink::errorString() const { return serialSession->errorString(); }

void BoxLink::close()
{
    if (link.mode == LinkMode::Serial)
        serialSession->close();
    else
        link.lanLinkEnabled = false;
    watchdog.forget();
}

Switching::Delivery BoxLink::delivery() const
{
    return link.mode == LinkMode::Lan && !link.lanLinkEnabled ? Switching::Delivery::Dropped
                                                              : Switching::Delivery::Sent;
}

void BoxLink::send(const Switching::Command &command)
{
    if (link.mode == LinkMode::Serial)
        commandQueue.enqueue(command.queueElement());
    else
        sendLanFrame(command.lanFrame());
}

void BoxLink::sendQueuedCommand()
{
    // One taken off while the port is closed (Disconnect between the tick and this call)
    // would be lost.
    if (!commandQueue.isEmpty() && serialSession->isOpen())
        serialSession->sendCommand(commandQueue.dequeue());
}

void BoxLink::sendStateRequest()
{
    if (link.mode == LinkMode::Serial)
        serialSession->sendStateRequest();
    else
        sendLanFrame(Protocol::lanFrame(Protocol::LanStateRequest, 0, 0, 0));
}

void BoxLink::sendLanFrame(const QByteArray &frame)
{
    if (link.lanLinkEnabled)
        lanLink->send(frame);
}
