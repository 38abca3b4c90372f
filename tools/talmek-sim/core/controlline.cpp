#include "controlline.h"

#include <QStringList>

namespace TalmekSim {

namespace {

ControlCommand invalid(const QString &error)
{
    ControlCommand command;
    command.kind = ControlCommand::Kind::Invalid;
    command.error = error;
    return command;
}

// "on"/"off" into *on; false for anything else.
bool parseSwitch(const QString &word, bool *on)
{
    if (word == QLatin1String("on")) {
        *on = true;
        return true;
    }
    if (word == QLatin1String("off")) {
        *on = false;
        return true;
    }
    return false;
}

bool parseNumber(const QString &word, int low, int high, int *value)
{
    bool ok = false;
    const int n = word.toInt(&ok, 10);
    if (!ok || n < low || n > high)
        return false;
    *value = n;
    return true;
}

} // namespace

ControlCommand parseControlLine(const QString &line)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ControlCommand command;
    if (words.isEmpty())
        return command;
    const QString &verb = words.first();
    const int argc = words.size() - 1;

    if (verb == QLatin1String("tx")) {
        if (argc != 2 || !parseNumber(words[1], 1, 2, &command.channel) || !parseSwitch(words[2], &command.on))
            return invalid(QStringLiteral("usage: tx <1|2> <on|off>"));
        command.kind = ControlCommand::Kind::Transmit;
    } else if (verb == QLatin1String("select")) {
        // The box's own front panel: an antenna chosen there, by the box's rules.
        if (argc != 2 || !parseNumber(words[1], 1, 2, &command.channel) || !parseNumber(words[2], 0, 6, &command.value))
            return invalid(QStringLiteral("usage: select <1|2> <antenna 1..6, 0 for none>"));
        command.kind = ControlCommand::Kind::Select;
    } else if (verb == QLatin1String("silent")) {
        if (argc != 1 || !parseSwitch(words[1], &command.on))
            return invalid(QStringLiteral("usage: silent <on|off>"));
        command.kind = ControlCommand::Kind::Silent;
    } else if (verb == QLatin1String("drop")) {
        if (argc != 1 || !parseNumber(words[1], 0, 100, &command.value))
            return invalid(QStringLiteral("usage: drop <percent 0..100>"));
        command.kind = ControlCommand::Kind::Drop;
    } else if (verb == QLatin1String("noise")) {
        if (argc != 1 || !parseNumber(words[1], 1, MaxNoiseBytes, &command.value))
            return invalid(QStringLiteral("usage: noise <bytes 1..%1>").arg(MaxNoiseBytes));
        command.kind = ControlCommand::Kind::Noise;
    } else if (verb == QLatin1String("state") && argc == 0) {
        command.kind = ControlCommand::Kind::State;
    } else if (verb == QLatin1String("quit") && argc == 0) {
        command.kind = ControlCommand::Kind::Quit;
    } else if (verb == QLatin1String("help") && argc == 0) {
        command.kind = ControlCommand::Kind::Help;
    } else {
        return invalid(QStringLiteral("unknown command: %1 (try help)").arg(line.simplified()));
    }
    return command;
}

QString controlHelpText()
{
    return QStringLiteral("commands: tx <1|2> <on|off>, select <1|2> <antenna 0..6>, silent <on|off>, "
                          "drop <percent>, noise <bytes>, state, help, quit");
}

} // namespace TalmekSim
