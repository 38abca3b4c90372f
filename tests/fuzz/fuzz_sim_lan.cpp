// The simulator's LAN side on arbitrary datagrams.
//
// Input: the datagrams' bytes from the front; from the back, first a set-up byte (bit 0:
// exclusive rule, bits 1 and 2: channel 1 / 2 transmitting), then one byte per datagram:
// (byte % 17) bytes make that datagram.
//
// Checks: a datagram is taken exactly when it is a frame the panel itself builds for a
// command code 1..5 (a split's first argument 0 or 1); anything else changes nothing and
// gets no answer; only a state request is answered, with a text the panel reads back as
// the box's state; a refused or invalid command changes nothing; the state stays possible.
#include "simchecks.h"

#include "lansession.h"
#include "switchbox.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>

#include <cstdint>

using namespace TalmekSim;

namespace {

constexpr int MaxDatagrams = 100000;

// Whether the panel's own frame builder gives exactly these bytes for some command.
bool isPanelFrame(const QByteArray &datagram)
{
    if (datagram.size() < 3)
        return false;
    const auto byte = [&datagram](int i) {
        return i < datagram.size() ? static_cast<quint8>(datagram.at(i)) : quint8(0);
    };
    const quint8 code = byte(1);
    if (code < 1 || code > 5)
        return false;
    if (code >= 4 && byte(2) > 1)
        return false;
    // The arguments are the bytes between code and end mark; a longer or shorter datagram
    // cannot come out equal.
    return Protocol::lanFrame(code, byte(2), byte(3), byte(4)) == datagram;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const quint8 setup = input.ConsumeIntegral<quint8>();
    const bool exclusive = (setup & 1) != 0;

    SwitchBox box;
    box.setExclusive(exclusive);
    box.setTransmitting(1, (setup & 2) != 0);
    box.setTransmitting(2, (setup & 4) != 0);
    LanSession session(box);

    qint64 malformed = 0;
    int datagrams = 0;
    while (input.remaining_bytes() > 0 && datagrams < MaxDatagrams) {
        const size_t length = input.ConsumeIntegralInRange<size_t>(0, 16);
        const std::string bytes = input.ConsumeBytesAsString(length);
        const QByteArray datagram(bytes.data(), static_cast<int>(bytes.size()));
        ++datagrams;

        const BoxState before = box.state();
        const LanSession::Result result = session.receive(datagram);
        FUZZ_CHECK(result.wellFormed == isPanelFrame(datagram));
        FUZZ_CHECK(result.wellFormed == decodeLanDatagram(datagram).has_value());
        if (!result.wellFormed) {
            ++malformed;
            FUZZ_CHECK(result.reply.isEmpty());
            FUZZ_CHECK(box.state() == before);
        } else {
            if (result.outcome != Outcome::Applied)
                FUZZ_CHECK(box.state() == before);
            if (result.command.kind == BoxCommand::Kind::StateRequest)
                SimChecks::checkLanStatusText(result.reply, box.state());
            else
                FUZZ_CHECK(result.reply.isEmpty());
        }
        FUZZ_CHECK(session.malformedCount() == malformed);
        SimChecks::checkStateIsPossible(box.state());
        if (exclusive)
            SimChecks::checkExclusive(box.state());
    }
    return 0;
}
