#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// The radio state a contest logger broadcasts over UDP, one datagram per radio: an XML
// document whose root element is RadioInfo. Of its elements these are read, every other one
// is passed over:
//   StationName     the sending station's name
//   RadioNr         1 or 2, the radio and so the switch's channel
//   Freq, TXFreq    whole numbers in tens of hertz (1407400 is 14.074 MHz), 0..2^31-1
//   IsTransmitting  True or False, in any letter case
//   app             the sending program's name
namespace RadioInfo {

// The largest payload one UDP datagram can carry.
constexpr int MaxDatagramSize = 65507;

struct Report
{
    QString station;
    int radio = 0;
    qint64 hz = 0;
    std::optional<qint64> txHz;
    bool transmitting = false;
    QString app;
};

// The report a datagram holds, or nothing when it is not one: not well-formed XML, another
// root element, RadioNr or Freq missing, a number that is not a plain decimal in range, an
// IsTransmitting other than True, False or empty, or larger than MaxDatagramSize. An empty
// TXFreq counts as none; TXFreq never stands in for a missing Freq.
std::optional<Report> parse(const QByteArray &datagram);

} // namespace RadioInfo
