#include "serialsession.h"

#include "seriallink.h"

SerialSession::SerialSession(std::atomic<bool> &openFlag, LinkWatchdog &linkWatchdog,
                             const MonotonicClock &monotonicClock, QObject *parent)
    : QObject(parent)
    , link(new SerialLink(openFlag, monotonicClock, this))
    , watchdog(linkWatchdog)
    , clock(monotonicClock)
{
    // The link stays up in the menus while the line is tried again, and queued commands
    // wait; the box counts as answering again only once it has answered on the new line.
    connect(link, &SerialLink::lineLost, this, [this] {
        watchdog.forget();
        emit message(tr("Serial line lost: reconnecting to %1\u2026").arg(link->parameters().portName));
        emit lineLost();
    });
}

bool SerialSession::open(const SerialParameters &parameters)
{
    awaitingFirmware = false;
    if (!link->open(parameters))
        return false;
    connected();
    return true;
}

QString SerialSession::errorString() const { return link->errorString(); }

void SerialSession::close()
{
    link->close();
    awaitingFirmware = false;
}

bool SerialSession::isOpen() const { return link->isOpen(); }

const SerialParameters &SerialSession::parameters() const { return link->parameters(); }

void SerialSession::reopenIfDue()
{
    if (link->reopenIfDue())
        connected();
}

void SerialSession::connected()
{
    const SerialParameters &p = link->parameters();
    emit message(tr("Connected to %1 : %2, %3, %4, %5, %6")
                     .arg(p.portName, p.baudRateText, p.dataBitsText, p.parityText, p.stopBitsText, p.flowControlText));
    link->write(tx, Protocol::composeFirmwareRequest(tx));
    awaitingFirmware = true;
    firmwareRequestedAt = clock.nowMs();
}

void SerialSession::sendCommand(qint16 element) { link->write(tx, Protocol::composeQueuedCommand(tx, element)); }

void SerialSession::sendStateRequest()
{
    if (awaitingFirmware && clock.nowMs() - firmwareRequestedAt < FirmwareWaitMs)
        return;
    awaitingFirmware = false;
    link->write(tx, Protocol::composeStateRequest(tx));
}

void SerialSession::readReply()
{
    const SerialReply::Result read = link->readReply(rx);
    if (!read.signOfLife)
        return;
    watchdog.heard();
    if (read.length == 0)
        return;
    if (Protocol::classifyReply(rx) == Protocol::ReplyKind::Firmware)
        awaitingFirmware = false;
    emit replyRead();
}
