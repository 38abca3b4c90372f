#pragma once

#include "devicestate.h"

#include <QByteArray>
#include <QString>

#include <array>

// The two encodings of the box's protocol.
//
// Serial: commands are composed in a fixed 11-byte transmit buffer and written from its
// first byte; a command writes a fixed byte count, so bytes it does not set go out with
// whatever an earlier command left there (the box has always seen them). Replies are read
// into a fixed 20-byte receive buffer. Nothing on the serial path allocates.
//
// LAN: each command is one binary frame 0xFE, code, arguments, 0xFD in one datagram; the
// box answers with dot-separated numbers (see parseLanStatusText).
namespace Protocol {

constexpr int TxBufferSize = 11;
constexpr int RxBufferSize = 20;
using TxBuffer = std::array<char, TxBufferSize>;
using RxBuffer = std::array<quint8, RxBufferSize>;

// Serial command codes as they travel in the command queue and in byte 2 of a command.
enum SerialCode : quint8 {
    SelectChannel1 = 1,
    SelectChannel2 = 2,
    SplitChannel1 = 3,
    SplitChannel2 = 4,
    StateRequestCode = 0x05,
};

// Serial byte counts written per command.
constexpr int FirmwareRequestLength = 4;
constexpr int StateRequestLength = 6;
constexpr int QueuedCommandLength = 7;

// Framing of every serial reply (the 14-byte status reply and the firmware reply alike): a
// tick reads nothing until at least this many bytes wait, and what it read is a frame when
// its last byte is ';'.
constexpr int MinReplyLength = 13;

// LAN command codes (byte 1 of a LanFrame).
enum LanCode : quint8 {
    LanStateRequest = 1,
    LanSelectChannel1 = 2,
    LanSelectChannel2 = 3,
    LanSplitChannel1 = 4,
    LanSplitChannel2 = 5,
};
constexpr quint8 LanFrameStart = 0xFE;
constexpr quint8 LanFrameEnd = 0xFD;

// Queue element: argument byte * 256 + code.
constexpr qint16 queueElement(quint8 code, quint8 argument)
{
    return static_cast<qint16>(static_cast<quint16>((argument << 8) | code));
}
constexpr quint8 elementCode(qint16 element) { return static_cast<quint16>(element) & 0xFF; }
constexpr quint8 elementArgument(qint16 element) { return static_cast<quint16>(element) >> 8; }

// Split argument of the serial queue: TX nibble tx + 1, RX nibble (rx + 1) mod 16, cut to a byte.
constexpr quint8 splitArgument(int tx, int rx)
{
    return static_cast<quint8>((((tx + 1) << 4) | ((rx + 1) & 0x0F)) & 0xFF);
}

// Compose the serial command for a queue element; returns the byte count to write, or 0
// for an element whose code is not a queue command.
int composeQueuedCommand(TxBuffer &tx, qint16 element);
int composeStateRequest(TxBuffer &tx);
int composeFirmwareRequest(TxBuffer &tx);

enum class ReplyKind { Ignored, Status, Firmware };
// Classify the frame at the start of the receive buffer by its "IG" and kind byte.
ReplyKind classifyReply(const RxBuffer &rx);

// Copy bytes 3..10 of a status reply into the state, unchanged.
void applyStatusReply(DeviceState &state, const RxBuffer &rx);
// A serial status reply as the panel takes it: the one that was on its way when a command
// went out still shows the old state and is dropped instead (ignoreNextStatus). True when
// the state was applied.
bool takeStatusReply(DeviceState &state, const RxBuffer &rx);

struct FirmwareRevision
{
    int major = 0;
    int minor = 0;
};
FirmwareRevision firmwareRevision(const RxBuffer &rx);

// LanFrame for a code and up to three arguments; the frame carries as many argument bytes
// as its command takes (none for the state request, one for a selection, three for a split).
QByteArray lanFrame(quint8 code, quint8 arg1 = 0, quint8 arg2 = 0, quint8 arg3 = 0);

// Parse a LanStatusText. When it is a valid status (11 fields or more, field 10 reads FF),
// the eight state fields are stored into `state` and true is returned; otherwise the
// state is left unchanged. Never fails on any text.
bool parseLanStatusText(const QString &text, DeviceState &state);

} // namespace Protocol
