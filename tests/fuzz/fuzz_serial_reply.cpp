// The panel's serial read path on an arbitrary byte stream from the line.
//
// The stream arrives in pieces; between pieces the polling tick runs SerialReply::read, the
// function the serial link uses, against a port that holds what has arrived: it decides how
// much is read into the receive buffer (which keeps whatever earlier reads left behind it)
// and which bytes are the reply to dispatch.
//
// Input: the stream from the front; from the back, one byte per tick: (byte % 41) bytes
// arrive before that tick, 40 standing for an operator's switching command instead (the
// next status reply is then to be discarded).
#include "fuzzcheck.h"

#include "engine/devicestate.h"
#include "engine/protocol.h"
#include "engine/serialreply.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>

#include <cstdint>
#include <cstring>
#include <memory>

using namespace Protocol;

namespace {

constexpr int SwitchingCommand = 40;
constexpr int MaxTicks = 100000;

struct Panel
{
    // On the heap at its exact size, so that a read past its end is a sanitizer report.
    std::unique_ptr<RxBuffer> rx = std::make_unique<RxBuffer>();
    DeviceState state;
    DeviceState expected; // what the state must be, kept from the raw bytes alone
    QByteArray port; // bytes waiting in the serial port

    void tick()
    {
        const QByteArray before = port;
        const SerialReply::Result result = SerialReply::read(
            port.size(),
            [this](char *into, qint64 max) {
                const int n = int(qMin<qint64>(max, port.size()));
                std::memcpy(into, port.constData(), static_cast<size_t>(n));
                port.remove(0, n);
                return qint64(n);
            },
            *rx);
        FUZZ_CHECK(result.signOfLife == (before.size() >= MinReplyLength));
        if (result.length == 0)
            return;
        // A reply is MinReplyLength to RxBufferSize bytes that ended in ';' and stood,
        // in one piece, among the bytes that were waiting.
        FUZZ_CHECK(result.length >= MinReplyLength && result.length <= RxBufferSize);
        const QByteArray frame(reinterpret_cast<const char *>(rx->data()), result.length);
        FUZZ_CHECK(frame.endsWith(';'));
        FUZZ_CHECK(before.contains(frame));
        if (before.size() > RxBufferSize) {
            // Caught up: everything waiting was taken, and the frame is a whole one.
            FUZZ_CHECK(port.isEmpty());
            FUZZ_CHECK(frame.startsWith("IG") && frame.size() >= MinReplyLength);
        }
        dispatch();
    }

    void dispatch()
    {
        const RxBuffer &frame = *rx;
        const bool ig = frame[0] == 'I' && frame[1] == 'G';
        const bool statusKind = frame[2] == 0x05 || frame[2] == 'T';
        const ReplyKind kind = classifyReply(frame);
        FUZZ_CHECK((kind == ReplyKind::Status) == (ig && statusKind));
        FUZZ_CHECK((kind == ReplyKind::Firmware) == (ig && frame[2] == 'W'));

        switch (kind) {
        case ReplyKind::Status:
            if (state.ignoreNextStatus == 1) {
                state.ignoreNextStatus = 0;
                expected.ignoreNextStatus = 0;
                break;
            }
            applyStatusReply(state, frame);
            // Bytes 3..10, unchanged and in order; nothing else of the state moves.
            expected.antenna[1] = frame[3];
            expected.antenna[2] = frame[4];
            expected.splitActive[1] = frame[5];
            expected.splitActive[2] = frame[6];
            expected.splitTxAntenna[1] = frame[7];
            expected.splitTxAntenna[2] = frame[8];
            expected.transmitting[1] = frame[9];
            expected.transmitting[2] = frame[10];
            break;
        case ReplyKind::Firmware: {
            const FirmwareRevision revision = firmwareRevision(frame);
            FUZZ_CHECK(revision.major == frame[3]);
            FUZZ_CHECK(revision.minor == frame[4]);
            break;
        }
        case ReplyKind::Ignored:
            break;
        }
        FUZZ_CHECK(state == expected);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    Panel panel;
    // Fields no reply may touch carry marks, so that a stray write shows.
    panel.state.antenna[0] = 0xA1;
    panel.state.splitActive[0] = 0xA2;
    panel.state.splitTxAntenna[0] = 0xA3;
    panel.state.transmitting[0] = 0xA4;
    panel.state.splitSetupActive = 1;
    panel.state.splitSetupChannel = 2;
    panel.state.blinkPhase = 1;
    panel.expected = panel.state;

    int ticks = 0;
    while (input.remaining_bytes() > 0 && ticks < MaxTicks) {
        const int step = input.ConsumeIntegralInRange<int>(0, SwitchingCommand);
        if (step == SwitchingCommand) {
            panel.state.ignoreNextStatus = 1;
            panel.expected.ignoreNextStatus = 1;
        } else {
            const std::string bytes = input.ConsumeBytesAsString(static_cast<size_t>(step));
            panel.port.append(bytes.data(), static_cast<int>(bytes.size()));
        }
        panel.tick();
        ++ticks;
    }
    // The line falls silent: later ticks read what is left while enough waits.
    while (panel.port.size() >= MinReplyLength && ticks < MaxTicks) {
        panel.tick();
        ++ticks;
    }
    FUZZ_CHECK(panel.port.size() < MinReplyLength || ticks == MaxTicks);
    return 0;
}
