// The simulator's serial side on an arbitrary byte stream from the panel's line.
//
// Input: the stream from the front; from the back, first a set-up byte (bit 0: exclusive
// rule, bit 1 / bit 2: channel 1 / 2 transmitting, bits 3..7 and the next byte: firmware
// revision), then one byte per read: (byte % 33) bytes arrive in that read.
//
// Checks: nothing is lost or made up (the bytes of all events, then the bytes still
// pending, are the stream); at most one command's worth of bytes waits between reads;
// each command is a whole frame "IG" ... ';' of its length; every reply is a well-formed
// 14-byte frame that the panel reads as the box's state; the box's state stays possible;
// a refused or invalid command changes nothing; and the outcome does not depend on how
// the stream was cut into reads.
#include "simchecks.h"

#include "serialcommandparser.h"
#include "serialsession.h"
#include "switchbox.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>

#include <cstdint>

using namespace TalmekSim;

namespace {

constexpr int MaxReads = 100000;

int frameLength(BoxCommand::Kind kind)
{
    switch (kind) {
    case BoxCommand::Kind::FirmwareRequest:
        return 4;
    case BoxCommand::Kind::StateRequest:
    case BoxCommand::Kind::Select:
        return 5;
    case BoxCommand::Kind::SplitOn:
    case BoxCommand::Kind::SplitOff:
        return 7;
    }
    return -1;
}

struct Line
{
    SwitchBox box;
    SerialSession session{box};
    SwitchBox shadow; // the same commands applied one by one, to see each step
    QByteArray fed;
    QByteArray seen; // bytes of every event so far
    QByteArray replies;
    qint64 commands = 0;
    qint64 skipped = 0;
    bool exclusive = false;
    int major = 0;
    int minor = 0;

    void receive(const QByteArray &bytes)
    {
        fed += bytes;
        const auto events = session.receive(bytes);
        for (const auto &event : events) {
            FUZZ_CHECK(!event.received.isEmpty());
            seen += event.received;
            if (event.type == SerialCommandParser::Item::Type::Skipped) {
                skipped += event.received.size();
                FUZZ_CHECK(event.reply.isEmpty());
                continue;
            }
            ++commands;
            const QByteArray &frame = event.received;
            FUZZ_CHECK(frame.size() == frameLength(event.command.kind));
            FUZZ_CHECK(frame.startsWith("IG") && frame.endsWith(';'));
            FUZZ_CHECK(frame.indexOf('I', 1) < 0); // no 'I' inside a command

            const BoxState before = shadow.state();
            FUZZ_CHECK(shadow.apply(event.command) == event.outcome);
            if (event.outcome != Outcome::Applied)
                FUZZ_CHECK(shadow.state() == before);
            SimChecks::checkStateIsPossible(shadow.state());
            if (exclusive)
                SimChecks::checkExclusive(shadow.state());

            switch (event.command.kind) {
            case BoxCommand::Kind::StateRequest:
                SimChecks::checkSerialStatusReply(event.reply, shadow.state());
                break;
            case BoxCommand::Kind::FirmwareRequest:
                SimChecks::checkSerialFirmwareReply(event.reply, major, minor);
                break;
            default:
                FUZZ_CHECK(event.reply.isEmpty());
                break;
            }
            replies += event.reply;
        }
        const SerialCommandParser &parser = session.parser();
        FUZZ_CHECK(parser.pendingBytes() >= 0 && parser.pendingBytes() < SerialCommandParser::MaxCommandLength);
        FUZZ_CHECK(seen == fed.left(fed.size() - parser.pendingBytes()));
        FUZZ_CHECK(parser.commandCount() == commands);
        FUZZ_CHECK(parser.skippedBytes() == skipped);
        FUZZ_CHECK(shadow.state() == box.state());
    }
};

void setUp(Line &line, quint8 setup, quint8 revision)
{
    line.exclusive = (setup & 1) != 0;
    line.major = setup >> 3;
    line.minor = revision;
    for (SwitchBox *box : {&line.box, &line.shadow}) {
        box->setExclusive(line.exclusive);
        box->setTransmitting(1, (setup & 2) != 0);
        box->setTransmitting(2, (setup & 4) != 0);
        box->setFirmware(static_cast<quint8>(line.major), static_cast<quint8>(line.minor));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const quint8 setup = input.ConsumeIntegral<quint8>();
    const quint8 revision = input.ConsumeIntegral<quint8>();

    Line chunked;
    setUp(chunked, setup, revision);
    int reads = 0;
    while (input.remaining_bytes() > 0 && reads < MaxReads) {
        const size_t count = input.ConsumeIntegralInRange<size_t>(0, 32);
        const std::string bytes = input.ConsumeBytesAsString(count);
        chunked.receive(QByteArray(bytes.data(), static_cast<int>(bytes.size())));
        ++reads;
    }

    // The same stream in one read: the box must end up saying and holding the same.
    Line whole;
    setUp(whole, setup, revision);
    whole.receive(chunked.fed);
    FUZZ_CHECK(whole.replies == chunked.replies);
    FUZZ_CHECK(whole.box.state() == chunked.box.state());
    FUZZ_CHECK(whole.session.parser().pendingBytes() == chunked.session.parser().pendingBytes());
    FUZZ_CHECK(whole.commands == chunked.commands);
    return 0;
}
