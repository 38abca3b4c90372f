#pragma once

#include <QSerialPort>
#include <QString>

// Why a serial port would not open, in words an operator can act on: the port's own error
// text stays, and one line adds the likely cause and what to do about it.
namespace OpenFailure {

enum class Cause { NoPermission, Busy, NotFound, Other };

// What the device file tells about itself.
struct DeviceFacts
{
    bool exists = false;
    // This user may read and write it (root always may).
    bool accessible = false;
    // The group that owns it, e.g. "dialout"; empty when unknown.
    QString group;
};

// The device file behind a port name ("ttyUSB0" is /dev/ttyUSB0; a path is itself).
DeviceFacts factsAbout(const QString &portName);

// A permission error on a device this user may use means another program holds the port
// (its lock or its exclusive mode).
Cause causeOf(QSerialPort::SerialPortError error, const DeviceFacts &facts);

// The line to add for the cause; empty for Other.
QString advice(Cause cause, const QString &portName, const QString &group);

// The port's own text, and the advice on a line of its own when there is one.
QString message(const QString &portError, QSerialPort::SerialPortError error, const QString &portName);

} // namespace OpenFailure
