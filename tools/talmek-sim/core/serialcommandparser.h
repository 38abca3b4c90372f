#pragma once

#include "boxstate.h"

#include <QByteArray>
#include <QVector>

namespace TalmekSim {

// Splits the serial byte stream from the panel into commands.
//
// The stream is not framed: commands arrive split across reads or glued together, each
// followed by the bytes the panel leaves in its transmit buffer (zeros, '0', '1', ';'),
// and the line may carry noise. Every command starts with "IG" and none of those trailing
// bytes is an 'I', so the parser skips everything up to the next "IG" and checks each
// byte of a candidate as it arrives. A candidate that stops matching gives up only its
// 'I', so an "IG" inside it is still found; no byte of any command can be an 'I' after the
// "IG", so a broken candidate never swallows the command that follows it.
// At most MaxCommandLength - 1 bytes are kept between calls.
class SerialCommandParser
{
public:
    static constexpr int MaxCommandLength = 7;

    struct Item
    {
        enum class Type { Command, Skipped };
        Type type = Type::Skipped;
        QByteArray bytes; // the command's bytes, or a run of skipped bytes
        BoxCommand command;
    };

    QVector<Item> feed(const QByteArray &chunk);

    int pendingBytes() const { return m_pending.size(); }
    qint64 commandCount() const { return m_commands; }
    qint64 skippedBytes() const { return m_skipped; }
    // Candidates that began with "IG" but did not turn out to be a command.
    qint64 malformedCount() const { return m_malformed; }

private:
    enum class Match { Complete, Partial, Mismatch };
    static Match match(const char *data, int size, int *length);
    static BoxCommand decode(const char *frame);

    QByteArray m_pending;
    qint64 m_commands = 0;
    qint64 m_skipped = 0;
    qint64 m_malformed = 0;
};

} // namespace TalmekSim
