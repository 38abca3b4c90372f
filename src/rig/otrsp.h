#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <optional>

// OTRSP, the serial protocol with which a contest logger tells a station's switches what to
// do: ASCII lines ending in CR (an LF is passed over). Of its commands the antenna switch
// takes AUX<radio><code> (the logger's antenna code for radio 1 or 2, one or two decimal
// digits, so AUX13 and AUX103 both mean code 3) and answers the queries ?NAME, ? and
// ?AUX<radio>; TX, RX and everything else are ignored.
namespace Otrsp {

// A longer line is no OTRSP command: it is dropped whole.
constexpr int MaxLineLength = 64;

// Cuts the byte stream into lines; a line that grows past MaxLineLength is dropped up to
// its end, so a sender that never ends a line cannot make the buffer grow.
class LineReader
{
public:
    void append(const QByteArray &bytes);
    // The next complete line, without its CR, or nothing until more arrives.
    std::optional<QByteArray> nextLine();
    int buffered() const { return int(pending.size()); }

private:
    QByteArray pending;
    // The line being read: its length so far, or dropped up to its CR.
    int lineLength = 0;
    bool discarding = false;
};

struct Command
{
    enum class Kind { Ignored, Aux, QueryName, Query, QueryAux };
    Kind kind = Kind::Ignored;
    int radio = 0; // Aux and QueryAux: 1 or 2
    int code = 0; // Aux: 0..99
};
Command parse(const QByteArray &line);

// The switch's side of the conversation: remembers each radio's last AUX code, whether or
// not it selected anything, and answers the queries.
class Responder
{
public:
    // The answer to send back for a command (with its CR), empty for none.
    QByteArray answer(const Command &command);
    int auxCode(int radio) const { return codes[radio]; }

private:
    std::array<int, 3> codes{}; // radios 1 and 2
};

} // namespace Otrsp
