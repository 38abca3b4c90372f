#include "radioinfo.h"

#include <QStringList>
#include <QXmlStreamReader>

#include <limits>

namespace RadioInfo {

namespace {
// Only plain decimal digits, as loggers write them: no sign, no blanks, no exponent.
std::optional<qint64> plainNumber(const QString &text, qint64 highest)
{
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    if (value > highest)
        return std::nullopt;
    return value;
}

constexpr qint64 HighestFrequency = std::numeric_limits<qint32>::max();
} // namespace

std::optional<Report> parse(const QByteArray &datagram)
{
    if (datagram.size() > MaxDatagramSize)
        return std::nullopt;
    QXmlStreamReader xml(datagram);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("RadioInfo"))
        return std::nullopt;
    Report report;
    bool haveRadio = false;
    bool haveFrequency = false;
    bool valid = true;
    while (valid && xml.readNextStartElement()) {
        const QString name = xml.name().toString();
        static const QStringList fields{QStringLiteral("RadioNr"), QStringLiteral("Freq"), QStringLiteral("TXFreq"),
                                        QStringLiteral("IsTransmitting"), QStringLiteral("StationName"),
                                        QStringLiteral("app")};
        if (!fields.contains(name)) {
            xml.skipCurrentElement(); // another field, or a list such as the rotors
            continue;
        }
        // A field of ours holds text only; markup inside it makes the datagram no report.
        const QString text = xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (xml.hasError())
            break;
        if (name == QLatin1String("RadioNr")) {
            const std::optional<qint64> radio = plainNumber(text, 2);
            valid = radio && *radio >= 1;
            report.radio = int(radio.value_or(0));
            haveRadio = true;
        } else if (name == QLatin1String("Freq")) {
            const std::optional<qint64> tens = plainNumber(text, HighestFrequency);
            valid = tens.has_value();
            report.hz = tens.value_or(0) * 10;
            haveFrequency = true;
        } else if (name == QLatin1String("TXFreq") && !text.isEmpty()) {
            const std::optional<qint64> tens = plainNumber(text, HighestFrequency);
            valid = tens.has_value();
            if (tens)
                report.txHz = *tens * 10;
        } else if (name == QLatin1String("IsTransmitting")) {
            report.transmitting = text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
            valid = report.transmitting || text.isEmpty()
                || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
        } else if (name == QLatin1String("StationName")) {
            report.station = text;
        } else if (name == QLatin1String("app")) {
            report.app = text;
        }
    }
    // The whole document must be well-formed, what follows the fields included.
    while (valid && !xml.atEnd())
        xml.readNext();
    if (!valid || xml.hasError() || !haveRadio || !haveFrequency)
        return std::nullopt;
    return report;
}

} // namespace RadioInfo
