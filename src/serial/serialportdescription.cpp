#include "serialportdescription.h"

#include <QSerialPortInfo>

QList<SerialPortDescription> availableSerialPorts()
{
    QList<SerialPortDescription> ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        SerialPortDescription port;
        port.portName = info.portName();
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        port.systemLocation = info.systemLocation();
        port.hasVendorId = info.hasVendorIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.hasProductId = info.hasProductIdentifier();
        port.productId = info.productIdentifier();
        ports.append(port);
    }
    return ports;
}
