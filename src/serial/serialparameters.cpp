#include "serialparameters.h"

#include <QCoreApplication>

#include <algorithm>

namespace {
constexpr qint32 ListedBaudRates[] = {QSerialPort::Baud9600, QSerialPort::Baud19200, QSerialPort::Baud38400,
                                      QSerialPort::Baud57600, QSerialPort::Baud115200};
constexpr qlonglong CustomBaudRateIndex = 5;
constexpr qint32 MaxCustomBaudRate = 4000000;

// A stored place in a list of `count` entries, or `fallback` where it is none.
qlonglong placeIn(const QVariant &stored, qlonglong count, qlonglong fallback)
{
    bool ok = false;
    const qlonglong index = stored.toLongLong(&ok);
    return ok && index >= 0 && index < count ? index : fallback;
}

// A custom rate as the dialog takes it: digits only, at most MaxCustomBaudRate; else none.
qint32 customBaudRate(const QString &text)
{
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        return 0;
    bool ok = false;
    const qlonglong rate = text.toLongLong(&ok);
    return ok && rate <= MaxCustomBaudRate ? qint32(rate) : 0;
}
} // namespace

SerialParameters storedSerialParameters(const PanelSettings::Serial &stored, const QList<SerialPortDescription> &ports)
{
    SerialParameters p;
    if (!stored.comPort.isEmpty()) {
        p.portName = stored.comPort;
    } else {
        const qlonglong place = placeIn(stored.comIndex, ports.size() + 1, 0);
        p.portName = place < ports.size() ? ports.at(int(place)).portName : QString();
    }
    const qlonglong speed = placeIn(stored.speedIndex, CustomBaudRateIndex + 1, 0);
    p.baudRate = speed == CustomBaudRateIndex ? customBaudRate(stored.customSpeed) : ListedBaudRates[speed];
    p.baudRateText = QString::number(p.baudRate);
    p.dataBitsText = QStringLiteral("8");
    p.parityText = QCoreApplication::translate("SettingsDialog", "None");
    p.stopBitsText = QStringLiteral("1");
    p.flowControlText = QCoreApplication::translate("SettingsDialog", "None");
    return p;
}
