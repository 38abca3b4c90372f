#include "rigreply.h"

#include <QHostAddress>

namespace RigReply {

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

Line parseLine(const QByteArray &line)
{
    const QByteArray text = line.trimmed();
    if (text.startsWith("RPRT"))
        return {Kind::Error, 0};
    int digits = 0;
    while (digits < text.size() && isDigit(text.at(digits)))
        ++digits;
    if (digits == 0 || digits > 12)
        return {};
    if (digits < text.size()) {
        // Only a decimal fraction may follow.
        if (text.at(digits) != '.')
            return {};
        for (int i = digits + 1; i < text.size(); ++i) {
            if (!isDigit(text.at(i)))
                return {};
        }
    }
    const qint64 hz = text.left(digits).toLongLong();
    if (hz <= 0)
        return {};
    return {Kind::Frequency, hz};
}

void LineReader::append(const QByteArray &bytes) { pending.append(bytes); }

std::optional<QByteArray> LineReader::nextLine()
{
    for (;;) {
        const int end = int(pending.indexOf('\n'));
        if (end < 0) {
            if (pending.size() > MaxLineLength) {
                pending.clear();
                skipping = true;
            }
            return std::nullopt;
        }
        QByteArray line = pending.left(end);
        pending.remove(0, end + 1);
        if (skipping || line.size() > MaxLineLength) {
            skipping = false;
            continue;
        }
        if (line.endsWith('\r'))
            line.chop(1);
        return line;
    }
}

void LineReader::clear()
{
    pending.clear();
    skipping = false;
}

} // namespace RigReply

std::optional<RigAddress> RigAddress::parse(const QString &text)
{
    const QString trimmed = text.trimmed();
    QString host;
    QString port;
    if (trimmed.startsWith(QLatin1Char('['))) {
        const int close = int(trimmed.indexOf(QLatin1Char(']')));
        if (close < 0 || trimmed.mid(close + 1, 1) != QLatin1String(":"))
            return std::nullopt;
        host = trimmed.mid(1, close - 1);
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
            return std::nullopt;
        port = trimmed.mid(close + 2);
    } else {
        const int colon = int(trimmed.indexOf(QLatin1Char(':')));
        if (colon <= 0 || trimmed.indexOf(QLatin1Char(':'), colon + 1) >= 0)
            return std::nullopt;
        host = trimmed.left(colon);
        port = trimmed.mid(colon + 1);
        if (host.contains(QLatin1Char(' ')) || host.contains(QLatin1Char('[')) || host.contains(QLatin1Char(']')))
            return std::nullopt;
    }
    if (port.isEmpty() || port.size() > 5)
        return std::nullopt;
    for (const QChar c : port) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const int number = port.toInt();
    if (number < 1 || number > 65535 || host.isEmpty())
        return std::nullopt;
    return RigAddress{host, quint16(number)};
}
