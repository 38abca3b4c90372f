#pragma once

#include <QSerialPort>
#include <QString>

// Serial line parameters as chosen in the settings dialog. Each value comes with the text
// of the entry it was taken from, for the connection line in the status bar.
struct SerialParameters
{
    QString portName;
    qint32 baudRate = 0;
    QString baudRateText;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QString dataBitsText;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QString parityText;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QString stopBitsText;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;
    QString flowControlText;
};
