// The panel's LAN reply parser on arbitrary datagrams.
//
// The datagram is turned into text as the panel's receiver does it (bytes up to the first
// zero byte, each byte one Latin-1 character). The same bytes read as UTF-16 also go
// through, since the parser promises to take any text.
//
// The expectation is built with QString::split, not with the parser's own field walk:
// valid exactly when there are 11 fields or more and field 10 reads FF in hexadecimal;
// then each state field is its field read in its base (0 when not a number), low 8 bits.
#include "fuzzcheck.h"

#include "engine/devicestate.h"
#include "engine/protocol.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstring>

namespace {

DeviceState markedState()
{
    DeviceState state;
    for (int c = 0; c <= 2; ++c) {
        state.antenna[c] = static_cast<quint8>(0x11 + c);
        state.splitActive[c] = static_cast<quint8>(0x21 + c);
        state.splitTxAntenna[c] = static_cast<quint8>(0x31 + c);
        state.transmitting[c] = static_cast<quint8>(0x41 + c);
    }
    state.ignoreNextStatus = 1;
    state.splitSetupActive = 1;
    state.splitSetupChannel = 2;
    state.blinkPhase = 1;
    return state;
}

quint8 fieldByte(const QString &field, int base)
{
    bool ok = false;
    const int value = field.toInt(&ok, base);
    return static_cast<quint8>((ok ? value : 0) & 0xFF);
}

void check(const QString &text)
{
    const DeviceState before = markedState();
    DeviceState state = before;
    const bool accepted = Protocol::parseLanStatusText(text, state);

    const QStringList fields = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    bool markOk = false;
    const bool valid = fields.size() >= 11 && fields.at(10).toInt(&markOk, 16) == 0xFF && markOk;
    FUZZ_CHECK(accepted == valid);
    if (!accepted) {
        FUZZ_CHECK(state == before);
        return;
    }
    DeviceState expected = before;
    expected.antenna[1] = fieldByte(fields.at(0), 16);
    expected.antenna[2] = fieldByte(fields.at(1), 16);
    expected.splitActive[1] = fieldByte(fields.at(2), 10);
    expected.splitActive[2] = fieldByte(fields.at(3), 10);
    expected.splitTxAntenna[1] = fieldByte(fields.at(4), 16);
    expected.splitTxAntenna[2] = fieldByte(fields.at(5), 16);
    expected.transmitting[1] = fieldByte(fields.at(6), 10);
    expected.transmitting[2] = fieldByte(fields.at(7), 10);
    FUZZ_CHECK(state == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    const int length = static_cast<int>(size);

    int textLength = 0;
    while (textLength < length && bytes[textLength] != '\0')
        ++textLength;
    check(QString::fromLatin1(bytes, textLength));

    QString utf16(length / 2, Qt::Uninitialized);
    std::memcpy(utf16.data(), data, static_cast<size_t>(utf16.size()) * sizeof(QChar));
    check(utf16);
    return 0;
}
