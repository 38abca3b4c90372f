#include "seriallink.h"

#include "openfailure.h"

#include <QSerialPort>

SerialLink::SerialLink(std::atomic<bool> &openState, const MonotonicClock &monotonicClock, QObject *parent)
    : QObject(parent)
    , port(new QSerialPort(this))
    , openFlag(openState)
    , clock(monotonicClock)
{
    // A line that is gone fails every write at once; left open, the port would retry them
    // in a busy loop. It is closed, and tried again until it comes back or close() is called.
    connect(port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        // A pseudo-terminal whose other side closed reports only read errors, one per
        // wake-up of the event loop, never a resource error: left open it keeps a core busy.
        const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
        if (gone && port->isOpen()) {
            close();
            reopening = true;
            lostOrTriedAt = this->clock.nowMs();
            emit lineLost();
        }
    });
}

bool SerialLink::open(const SerialParameters &p)
{
    applied = p;
    port->setPortName(p.portName);
    port->setBaudRate(p.baudRate, QSerialPort::AllDirections);
    port->setDataBits(p.dataBits);
    port->setParity(p.parity);
    port->setStopBits(p.stopBits);
    port->setFlowControl(p.flowControl);
    const bool opened = port->open(QIODevice::ReadWrite);
    openFlag = opened;
    openFailure = opened ? QString() : OpenFailure::message(port->errorString(), port->error(), p.portName);
    return opened;
}

QString SerialLink::errorString() const { return openFailure; }

void SerialLink::close()
{
    if (port->isOpen())
        port->close();
    openFlag = false;
    reopening = false;
}

bool SerialLink::reopenIfDue()
{
    if (!reopening || clock.nowMs() - lostOrTriedAt < ReopenIntervalMs)
        return false;
    lostOrTriedAt = clock.nowMs();
    reopening = !open(applied);
    return !reopening;
}

bool SerialLink::isOpen() const { return port->isOpen(); }

void SerialLink::write(const Protocol::TxBuffer &tx, int count)
{
    if (count > 0 && port->isOpen())
        port->write(tx.data(), count);
}

SerialReply::Result SerialLink::readReply(Protocol::RxBuffer &rx)
{
    if (!port->isOpen())
        return {};
    return SerialReply::read(
        port->bytesAvailable(), [this](char *into, qint64 max) { return port->read(into, max); }, rx);
}
