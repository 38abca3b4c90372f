#include "simoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

bool toInt(const QString &text, int low, int high, int *value)
{
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (!ok || n < low || n > high)
        return false;
    *value = n;
    return true;
}

} // namespace

bool parseSimOptions(const QStringList &arguments, SimOptions *options, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stands in for a Talmek antenna switch box (two channels, six antennas) on a serial\n"
                       "line and/or UDP, so that the panel runs without hardware.\n"
                       "Control lines on stdin: tx <1|2> <on|off>, select <1|2> <antenna 0..6>,\n"
                       "silent <on|off>, drop <percent>, noise <bytes>, state, help, quit. End of\n"
                       "stdin does not stop the simulator;\n"
                       "quit, SIGINT or SIGTERM do (exit code 0)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("LINK"),
                                 QStringLiteral("With --pty: also create the symlink LINK to the pseudo-terminal "
                                                "(an old symlink there is replaced; removed on exit)."),
                                 QStringLiteral("[LINK]"));

    const QCommandLineOption pty(
        QStringLiteral("pty"),
        QStringLiteral("Create a pseudo-terminal and serve it; prints \"PTY <path>\" (Unix only)."));
    const QCommandLineOption serial(
        QStringLiteral("serial"), QStringLiteral("Serve the existing serial port NAME (e.g. one end of a port pair)."),
        QStringLiteral("NAME"));
    const QCommandLineOption baud(QStringLiteral("baud"), QStringLiteral("Baud rate for --serial (default 9600; 8N1)."),
                                  QStringLiteral("N"), QStringLiteral("9600"));
    const QCommandLineOption udp(QStringLiteral("udp"),
                                 QStringLiteral("Serve UDP on PORT (0: any free port); prints \"UDP <addr>:<port>\"."),
                                 QStringLiteral("PORT"));
    const QCommandLineOption udpBind(QStringLiteral("udp-bind"),
                                     QStringLiteral("Address to bind UDP to (default 127.0.0.1)."),
                                     QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption transmit(QStringLiteral("transmit"),
                                      QStringLiteral("Channel CH (1 or 2) transmits from the start; may be repeated."),
                                      QStringLiteral("CH"));
    const QCommandLineOption firmware(QStringLiteral("firmware"),
                                      QStringLiteral("Firmware revision to report (default 1.7)."),
                                      QStringLiteral("MAJOR.MINOR"), QStringLiteral("1.7"));
    const QCommandLineOption silent(QStringLiteral("silent"),
                                    QStringLiteral("Never answer (commands are still carried out)."));
    const QCommandLineOption silentAfter(QStringLiteral("silent-after"),
                                         QStringLiteral("Stop answering SECONDS after start."),
                                         QStringLiteral("SECONDS"));
    const QCommandLineOption delay(QStringLiteral("delay"), QStringLiteral("Delay every reply by MS milliseconds."),
                                   QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption drop(QStringLiteral("drop"),
                                  QStringLiteral("Drop PERCENT of the replies at random (see --seed)."),
                                  QStringLiteral("PERCENT"), QStringLiteral("0"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the random draws of --drop, --split-replies and noise "
                                                 "(default 1: runs repeat)."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption splitReplies(
        QStringLiteral("split-replies"),
        QStringLiteral("Write each serial reply in two or three pieces a few ms apart."));
    const QCommandLineOption glue(QStringLiteral("glue"),
                                  QStringLiteral("Hold each other serial reply back and send it glued to the next."));
    const QCommandLineOption hex(QStringLiteral("hex"),
                                 QStringLiteral("Print every frame received and sent, in hex, one line each."));
    const QCommandLineOption exclusive(QStringLiteral("exclusive"),
                                       QStringLiteral("Refuse to give a channel an antenna the other channel holds."));
    parser.addOptions({pty, serial, baud, udp, udpBind, transmit, firmware, silent, silentAfter, delay, drop, seed,
                       splitReplies, glue, hex, exclusive});

    parser.process(arguments); // exits for --help, --version and unknown options

    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1 || (!positional.isEmpty() && !parser.isSet(pty))) {
        *error = QStringLiteral("unexpected argument(s): %1 (a LINK goes with --pty only)")
                     .arg(positional.join(QLatin1Char(' ')));
        return false;
    }
    options->pty = parser.isSet(pty);
    if (!positional.isEmpty())
        options->ptyLink = positional.first();

    options->serialName = parser.value(serial);
    int n = 0;
    if (!toInt(parser.value(baud), 1, 100000000, &n)) {
        *error = QStringLiteral("--baud: not a baud rate: %1").arg(parser.value(baud));
        return false;
    }
    options->baudRate = n;

    options->udp = parser.isSet(udp);
    if (options->udp) {
        if (!toInt(parser.value(udp), 0, 65535, &n)) {
            *error = QStringLiteral("--udp: not a port: %1").arg(parser.value(udp));
            return false;
        }
        options->udpPort = static_cast<quint16>(n);
    }
    options->udpBind = parser.value(udpBind);

    for (const QString &ch : parser.values(transmit)) {
        if (!toInt(ch, 1, 2, &n)) {
            *error = QStringLiteral("--transmit: channel must be 1 or 2, not %1").arg(ch);
            return false;
        }
        options->transmitting.append(n);
    }

    const QStringList revision = parser.value(firmware).split(QLatin1Char('.'));
    if (revision.size() != 2 || !toInt(revision[0], 0, 255, &options->firmwareMajor)
        || !toInt(revision[1], 0, 255, &options->firmwareMinor)) {
        *error = QStringLiteral("--firmware: expected MAJOR.MINOR, each 0..255, not %1").arg(parser.value(firmware));
        return false;
    }

    options->silent = parser.isSet(silent);
    if (parser.isSet(silentAfter)) {
        bool ok = false;
        options->silentAfterSeconds = parser.value(silentAfter).toDouble(&ok);
        if (!ok || options->silentAfterSeconds < 0 || options->silentAfterSeconds > 86400) {
            *error = QStringLiteral("--silent-after: not a number of seconds: %1").arg(parser.value(silentAfter));
            return false;
        }
    }
    if (!toInt(parser.value(delay), 0, 60000, &options->link.delayMs)) {
        *error = QStringLiteral("--delay: expected 0..60000 ms, not %1").arg(parser.value(delay));
        return false;
    }
    if (!toInt(parser.value(drop), 0, 100, &options->dropPercent)) {
        *error = QStringLiteral("--drop: expected a percentage 0..100, not %1").arg(parser.value(drop));
        return false;
    }
    bool ok = false;
    options->seed = parser.value(seed).toUInt(&ok, 10);
    if (!ok) {
        *error = QStringLiteral("--seed: not a number: %1").arg(parser.value(seed));
        return false;
    }
    options->link.splitReplies = parser.isSet(splitReplies);
    options->link.glue = parser.isSet(glue);
    options->link.hex = parser.isSet(hex);
    options->exclusive = parser.isSet(exclusive);

    if (!options->pty && options->serialName.isEmpty() && !options->udp) {
        *error = QStringLiteral("nothing to serve: give --pty, --serial NAME and/or --udp PORT (see --help)");
        return false;
    }
    return true;
}
