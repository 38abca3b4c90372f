// The simulator's console command line on arbitrary text (UTF-8, as typed on its input).
//
// Checks: a blank line is Empty and only a blank line is; every accepted command carries
// values in its documented range and starts with its verb; a refused one says why; and
// surrounding or repeated white space changes nothing.
#include "fuzzcheck.h"

#include "controlline.h"

#include <QString>
#include <QStringList>

#include <cstdint>

using namespace TalmekSim;

namespace {

bool same(const ControlCommand &a, const ControlCommand &b)
{
    return a.kind == b.kind && a.channel == b.channel && a.on == b.on && a.value == b.value && a.error == b.error;
}

const char *verbOf(ControlCommand::Kind kind)
{
    switch (kind) {
    case ControlCommand::Kind::Transmit:
        return "tx";
    case ControlCommand::Kind::Silent:
        return "silent";
    case ControlCommand::Kind::Drop:
        return "drop";
    case ControlCommand::Kind::Noise:
        return "noise";
    case ControlCommand::Kind::State:
        return "state";
    case ControlCommand::Kind::Quit:
        return "quit";
    case ControlCommand::Kind::Help:
        return "help";
    case ControlCommand::Kind::Empty:
    case ControlCommand::Kind::Invalid:
        break;
    }
    return nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const ControlCommand command = parseControlLine(line);
    const QString simplified = line.simplified();

    FUZZ_CHECK((command.kind == ControlCommand::Kind::Empty) == simplified.isEmpty());
    switch (command.kind) {
    case ControlCommand::Kind::Transmit:
        FUZZ_CHECK(command.channel == 1 || command.channel == 2);
        break;
    case ControlCommand::Kind::Drop:
        FUZZ_CHECK(command.value >= 0 && command.value <= 100);
        break;
    case ControlCommand::Kind::Noise:
        FUZZ_CHECK(command.value >= 1 && command.value <= MaxNoiseBytes);
        break;
    case ControlCommand::Kind::Invalid:
        FUZZ_CHECK(!command.error.isEmpty());
        break;
    default:
        break;
    }
    if (const char *verb = verbOf(command.kind))
        FUZZ_CHECK(simplified.split(QLatin1Char(' ')).first() == QLatin1String(verb));

    FUZZ_CHECK(same(parseControlLine(QStringLiteral(" \t") + line + QStringLiteral("  \n")), command));
    return 0;
}
