#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// What rigctld says, in its default (not extended) response mode: the answer to `f` is the
// frequency in hertz on a line of its own; a failed command answers "RPRT -n".
namespace RigReply {

enum class Kind { Frequency, Error, Other };

struct Line
{
    Kind kind = Kind::Other;
    qint64 hz = 0; // for Kind::Frequency: above 0
};

// One line, without its line end. A frequency is a whole number of hertz, from 1 to
// twelve digits, optionally followed by a decimal fraction, which is dropped.
Line parseLine(const QByteArray &line);

// Cuts the byte stream from rigctld into lines. A line that grows past MaxLineLength
// without an end is no answer of rigctld's: it is dropped up to its end, so a peer that
// never ends a line cannot make the buffer grow.
class LineReader
{
public:
    static constexpr int MaxLineLength = 256;

    void append(const QByteArray &bytes);
    // The next complete line (without "\n" or "\r\n"), or nothing until more arrives.
    std::optional<QByteArray> nextLine();
    void clear();
    int buffered() const { return int(pending.size()); }

private:
    QByteArray pending;
    bool skipping = false; // inside an overlong line, up to its end
};

} // namespace RigReply

// Where a radio's rigctld listens: "host:port", "IPv4:port" or "[IPv6]:port".
struct RigAddress
{
    QString host;
    quint16 port = 0;

    // Nothing when the text is not of that form or the port is not 1 to 65535.
    static std::optional<RigAddress> parse(const QString &text);
};
