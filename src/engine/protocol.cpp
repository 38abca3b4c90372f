#include "protocol.h"

#include <QString>

namespace Protocol {

namespace {
constexpr char I = 'I';
constexpr char G = 'G';
constexpr char Terminator = ';';

// One field of a status text, without a copy.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
using Field = QStringView;
Field fieldOf(const QString &text, int start, int length = -1) { return QStringView(text).mid(start, length); }
#else
using Field = QStringRef;
Field fieldOf(const QString &text, int start, int length = -1) { return text.midRef(start, length); }
#endif

// The value of a digit in `base` (10 or 16), or -1.
int digitValue(ushort c, int base)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16) {
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
    }
    return -1;
}

// Whole-number reading of the field of `text` at `start`, `length` long: what is not a
// number reads as 0. The box sends a few plain digits per field, read here directly, as Qt
// would read them; anything else (signs, spaces, a "0x", more digits than an int surely
// holds) is left to Qt's reading.
int fieldValue(const QString &text, int start, int length, int base)
{
    const int plainDigitsMax = base == 16 ? 7 : 9;
    if (length > 0 && length <= plainDigitsMax) {
        int value = 0;
        const QChar *c = text.constData() + start;
        const QChar *const end = c + length;
        for (; c != end; ++c) {
            const int digit = digitValue(c->unicode(), base);
            if (digit < 0)
                break;
            value = value * base + digit;
        }
        if (c == end)
            return value;
    }
    bool ok = false;
    const int value = fieldOf(text, start, length).toInt(&ok, base);
    return ok ? value : 0;
}
} // namespace

int composeQueuedCommand(TxBuffer &tx, qint16 element)
{
    const quint8 code = elementCode(element);
    const quint8 argument = elementArgument(element);
    switch (code) {
    case SelectChannel1:
    case SelectChannel2:
        tx[0] = I;
        tx[1] = G;
        tx[2] = static_cast<char>(code);
        tx[3] = static_cast<char>(0x30 + argument);
        tx[4] = Terminator;
        return QueuedCommandLength;
    case SplitChannel1:
    case SplitChannel2: {
        const int txNibble = argument >> 4;
        const int rxNibble = argument & 0x0F;
        tx[0] = I;
        tx[1] = G;
        tx[2] = static_cast<char>(code);
        tx[3] = static_cast<char>(0x2F + txNibble);
        tx[4] = static_cast<char>(0x2F + rxNibble);
        tx[5] = rxNibble != 0 ? '1' : '0';
        tx[6] = Terminator;
        return QueuedCommandLength;
    }
    default:
        return 0;
    }
}

int composeStateRequest(TxBuffer &tx)
{
    tx[0] = I;
    tx[1] = G;
    tx[2] = static_cast<char>(StateRequestCode);
    tx[3] = '3';
    tx[4] = Terminator;
    return StateRequestLength;
}

int composeFirmwareRequest(TxBuffer &tx)
{
    tx[0] = I;
    tx[1] = G;
    tx[2] = 'W';
    tx[3] = Terminator;
    return FirmwareRequestLength;
}

ReplyKind classifyReply(const RxBuffer &rx)
{
    if (rx[0] != I || rx[1] != G)
        return ReplyKind::Ignored;
    switch (rx[2]) {
    case 0x05:
    case 'T':
        return ReplyKind::Status;
    case 'W':
        return ReplyKind::Firmware;
    default:
        return ReplyKind::Ignored;
    }
}

void applyStatusReply(DeviceState &state, const RxBuffer &rx)
{
    state.antenna[1] = rx[3];
    state.antenna[2] = rx[4];
    state.splitActive[1] = rx[5];
    state.splitActive[2] = rx[6];
    state.splitTxAntenna[1] = rx[7];
    state.splitTxAntenna[2] = rx[8];
    state.transmitting[1] = rx[9];
    state.transmitting[2] = rx[10];
}

bool takeStatusReply(DeviceState &state, const RxBuffer &rx)
{
    if (state.ignoreNextStatus == 1) {
        state.ignoreNextStatus = 0;
        return false;
    }
    applyStatusReply(state, rx);
    return true;
}

FirmwareRevision firmwareRevision(const RxBuffer &rx) { return {rx[3], rx[4]}; }

QByteArray lanFrame(quint8 code, quint8 arg1, quint8 arg2, quint8 arg3)
{
    QByteArray frame;
    frame.reserve(6);
    frame.append(static_cast<char>(LanFrameStart));
    frame.append(static_cast<char>(code));
    switch (code) {
    case LanStateRequest:
        break;
    case LanSelectChannel1:
    case LanSelectChannel2:
        frame.append(static_cast<char>(arg1));
        break;
    default:
        frame.append(static_cast<char>(arg1));
        frame.append(static_cast<char>(arg2));
        frame.append(static_cast<char>(arg3));
        break;
    }
    frame.append(static_cast<char>(LanFrameEnd));
    return frame;
}

bool parseLanStatusText(const QString &text, DeviceState &state)
{
    // Eleven dot-separated fields; the eleventh ends at the next dot, if any, and what
    // follows it is not read.
    constexpr int FieldCount = 11;
    int starts[FieldCount];
    int lengths[FieldCount];
    int count = 0;
    int start = 0;
    const QChar *const data = text.constData();
    const int size = text.size();
    for (int i = 0; count < FieldCount; ++i) {
        if (i < size && data[i] != QLatin1Char('.'))
            continue;
        starts[count] = start;
        lengths[count] = i - start;
        ++count;
        start = i + 1;
        if (i == size)
            break;
    }
    if (count < FieldCount || fieldValue(text, starts[10], lengths[10], 16) != 0xFF)
        return false;

    const auto byteOf = [&](int index, int base) {
        return static_cast<quint8>(fieldValue(text, starts[index], lengths[index], base) & 0xFF);
    };
    state.antenna[1] = byteOf(0, 16);
    state.antenna[2] = byteOf(1, 16);
    state.splitActive[1] = byteOf(2, 10);
    state.splitActive[2] = byteOf(3, 10);
    state.splitTxAntenna[1] = byteOf(4, 16);
    state.splitTxAntenna[2] = byteOf(5, 16);
    state.transmitting[1] = byteOf(6, 10);
    state.transmitting[2] = byteOf(7, 10);
    return true;
}

} // namespace Protocol
