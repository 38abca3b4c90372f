#pragma once

#include <QList>
#include <QString>

// What the settings dialog shows of one serial port. Kept apart from QSerialPortInfo so that
// a port list can be handed to the dialog without asking the system.
struct SerialPortDescription
{
    QString portName;
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString systemLocation;
    quint16 vendorId = 0;
    quint16 productId = 0;
    bool hasVendorId = false;
    bool hasProductId = false;
};

// The ports the system reports now, in the order it reports them.
QList<SerialPortDescription> availableSerialPorts();
