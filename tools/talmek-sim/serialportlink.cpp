#include "serialportlink.h"

#include "console.h"

#include <QSerialPort>

SerialPortLink::SerialPortLink(TalmekSim::SwitchBox &box, TalmekSim::ReplyPolicy &policy, const LinkOptions &options,
                               QObject *parent)
    : SerialLink(QStringLiteral("serial"), box, policy, options, parent)
    , m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, [this] { handleReceived(m_port->readAll()); });
    connect(m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e != QSerialPort::NoError && m_port->isOpen())
            Console::error(QStringLiteral("serial port %1: %2").arg(m_port->portName(), m_port->errorString()));
    });
}

bool SerialPortLink::open(const QString &name, qint32 baudRate, QString *error)
{
    m_port->setPortName(name);
    if (!m_port->open(QIODevice::ReadWrite)) {
        *error = QStringLiteral("cannot open serial port %1: %2").arg(name, m_port->errorString());
        return false;
    }
    if (!m_port->setBaudRate(baudRate) || !m_port->setDataBits(QSerialPort::Data8)
        || !m_port->setParity(QSerialPort::NoParity) || !m_port->setStopBits(QSerialPort::OneStop)
        || !m_port->setFlowControl(QSerialPort::NoFlowControl)) {
        *error = QStringLiteral("cannot configure serial port %1: %2").arg(name, m_port->errorString());
        m_port->close();
        return false;
    }
    return true;
}

void SerialPortLink::writeBytes(const QByteArray &bytes)
{
    if (m_port->isOpen())
        m_port->write(bytes);
}
