#pragma once

#include "seriallink.h"

class QSerialPort;

// An existing serial port served by name, e.g. one end of a port pair on Windows.
class SerialPortLink : public SerialLink
{
    Q_OBJECT

public:
    SerialPortLink(TalmekSim::SwitchBox &box, TalmekSim::ReplyPolicy &policy, const LinkOptions &options,
                   QObject *parent = nullptr);

    // 8 data bits, no parity, one stop bit, no flow control: the panel's defaults.
    bool open(const QString &name, qint32 baudRate, QString *error);

protected:
    void writeBytes(const QByteArray &bytes) override;

private:
    QSerialPort *m_port;
};
