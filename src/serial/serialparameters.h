#pragma once

#include "config/panelsettings.h"
#include "serialportdescription.h"

#include <QList>
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

// The parameters the serial settings dialog opens with, without the dialog: the port stored
// by name, or in files without one by its place among `ports` (one place past them is
// "Custom", with no path); the baud rate by its place (9600, 19200, 38400, 57600, 115200, or
// the custom rate stored); 8 data bits, no parity, one stop bit, no flow control.
SerialParameters storedSerialParameters(const PanelSettings::Serial &stored, const QList<SerialPortDescription> &ports);
