#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstring>

namespace CommandLine {

namespace {
struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption connect{
        QStringLiteral("connect"),
        QCoreApplication::translate("CommandLine",
                                    "Connect to the box at start, as \"Connect to Talmek\" in the File menu "
                                    "does, over the link chosen in Operating Mode.")};
    QCommandLineOption headless{
        QStringLiteral("headless"),
        QCoreApplication::translate("CommandLine",
                                    "Run the station without a window or display, from the same settings "
                                    "file: connect at once, follow the radios, the logger and OTRSP, and "
                                    "report on standard error. SIGTERM, SIGINT or SIGHUP end it.")};
    QCommandLineOption link{QStringLiteral("link"),
                            QCoreApplication::translate("CommandLine",
                                                        "With --headless: connect over this link (serial or "
                                                        "lan) instead of the one in the settings file."),
                            QStringLiteral("serial|lan")};

    QCommandLineOption remote{
        QStringLiteral("remote"),
        QCoreApplication::translate("CommandLine",
                                    "With --headless: serve remote control for this run, to this computer alone "
                                    "(local) or to the network with a token (network), whatever the settings "
                                    "file says."),
        QStringLiteral("local|network")};
    QCommandLineOption remotePort{
        QStringLiteral("remote-port"),
        QCoreApplication::translate("CommandLine",
                                    "With --headless: serve remote control on this TCP port for this run "
                                    "(0 takes a free one)."),
        QStringLiteral("port")};

    QCommandLineOption mqtt{QStringLiteral("mqtt"),
                            QCoreApplication::translate("CommandLine",
                                                        "With --headless: bridge the station to the MQTT broker "
                                                        "(on) or not (off) for this run, whatever the settings "
                                                        "file says."),
                            QStringLiteral("on|off")};
    QCommandLineOption mqttHost{
        QStringLiteral("mqtt-host"),
        QCoreApplication::translate("CommandLine", "With --headless: the MQTT broker's host for this run."),
        QStringLiteral("host")};
    QCommandLineOption mqttPort{
        QStringLiteral("mqtt-port"),
        QCoreApplication::translate("CommandLine", "With --headless: the MQTT broker's TCP port for this run."),
        QStringLiteral("port")};
    QCommandLineOption mqttBase{QStringLiteral("mqtt-base"),
                                QCoreApplication::translate("CommandLine",
                                                            "With --headless: the MQTT topics' base for this run "
                                                            "(zorvik/<the ID, lower-cased> unless the settings "
                                                            "file names another)."),
                                QStringLiteral("base")};

    Parser()
    {
        parser.addOption(connect);
        parser.addOption(headless);
        parser.addOption(link);
        parser.addOption(remote);
        parser.addOption(remotePort);
        parser.addOption(mqtt);
        parser.addOption(mqttHost);
        parser.addOption(mqttPort);
        parser.addOption(mqttBase);
        parser.setApplicationDescription(QCoreApplication::translate(
            "CommandLine", "Zorvik Remote Control: the panel of the Talmek antenna switch."));
        parser.addPositionalArgument(
            QStringLiteral("profile"),
            QCoreApplication::translate("CommandLine",
                                        "Use the settings file settings<profile>.ini instead of "
                                        "settings.ini, to keep several set-ups apart."),
            QStringLiteral("[profile]"));
    }
};
} // namespace

bool asksForAnswer(int argc, const char *const *argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "--help", "-?", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

Answer answer(const QStringList &arguments, const QString &settingsPath)
{
    Parser p;
    Answer out;
    if (!p.parser.parse(arguments)) {
        out.exitCode = 2;
        out.text = p.parser.errorText() + QLatin1Char('\n');
        return out;
    }
    if (p.parser.isSet(p.version)) {
        out.text = QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion()
            + QLatin1Char('\n');
        return out;
    }
    out.text = p.parser.helpText() + QLatin1Char('\n')
        + QCoreApplication::translate("CommandLine", "Settings file: %1").arg(settingsPath) + QLatin1Char('\n');
    return out;
}

bool asksForHeadless(int argc, const char *const *argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0 || std::strcmp(argv[i], "-headless") == 0)
            return true;
    }
    return false;
}

bool accept(const QStringList &arguments, Start *start, QString *error)
{
    Parser p;
    if (!p.parser.parse(arguments)) {
        *error = p.parser.errorText();
        return false;
    }
    start->connect = p.parser.isSet(p.connect);
    start->headless = p.parser.isSet(p.headless);
    if (p.parser.isSet(p.link)) {
        const QString link = p.parser.value(p.link);
        if (!start->headless) {
            *error = QCoreApplication::translate("CommandLine", "--link goes with --headless");
            return false;
        }
        if (link == QLatin1String("serial")) {
            start->link = LinkMode::Serial;
        } else if (link == QLatin1String("lan")) {
            start->link = LinkMode::Lan;
        } else {
            *error = QCoreApplication::translate("CommandLine", "--link takes serial or lan, not \"%1\"").arg(link);
            return false;
        }
    }
    if (p.parser.isSet(p.remote)) {
        const QString remote = p.parser.value(p.remote);
        if (!start->headless) {
            *error = QCoreApplication::translate("CommandLine", "--remote goes with --headless");
            return false;
        }
        const auto mode = PanelSettings::Remote::modeFrom(remote);
        if (!mode || *mode == PanelSettings::Remote::Mode::Off) {
            *error =
                QCoreApplication::translate("CommandLine", "--remote takes local or network, not \"%1\"").arg(remote);
            return false;
        }
        start->remote = mode;
    }
    if (p.parser.isSet(p.remotePort)) {
        const QString port = p.parser.value(p.remotePort);
        if (!start->headless) {
            *error = QCoreApplication::translate("CommandLine", "--remote-port goes with --headless");
            return false;
        }
        bool read = false;
        const uint number = port.toUInt(&read);
        if (!read || number > 65535) {
            *error = QCoreApplication::translate("CommandLine", "--remote-port takes 0 to 65535, not \"%1\"").arg(port);
            return false;
        }
        start->remotePort = quint16(number);
    }
    for (const QCommandLineOption *option : {&p.mqtt, &p.mqttHost, &p.mqttPort, &p.mqttBase}) {
        if (p.parser.isSet(*option) && !start->headless) {
            *error = QCoreApplication::translate("CommandLine", "--%1 goes with --headless").arg(option->names().first());
            return false;
        }
    }
    if (p.parser.isSet(p.mqtt)) {
        const QString on = p.parser.value(p.mqtt);
        if (on != QLatin1String("on") && on != QLatin1String("off")) {
            *error = QCoreApplication::translate("CommandLine", "--mqtt takes on or off, not \"%1\"").arg(on);
            return false;
        }
        start->mqtt.on = on == QLatin1String("on");
    }
    if (p.parser.isSet(p.mqttHost)) {
        const QString host = p.parser.value(p.mqttHost).trimmed();
        if (host.isEmpty()) {
            *error = QCoreApplication::translate("CommandLine", "--mqtt-host takes a host name or address");
            return false;
        }
        start->mqtt.host = host;
    }
    if (p.parser.isSet(p.mqttPort)) {
        const QString port = p.parser.value(p.mqttPort);
        bool read = false;
        const uint number = port.toUInt(&read);
        if (!read || number < 1 || number > 65535) {
            *error = QCoreApplication::translate("CommandLine", "--mqtt-port takes 1 to 65535, not \"%1\"").arg(port);
            return false;
        }
        start->mqtt.port = quint16(number);
    }
    if (p.parser.isSet(p.mqttBase)) {
        QString base = p.parser.value(p.mqttBase).trimmed();
        while (base.endsWith(QLatin1Char('/')))
            base.chop(1);
        // A wildcard would subscribe the bridge to others' commands.
        if (base.isEmpty() || base.contains(QLatin1Char('#')) || base.contains(QLatin1Char('+'))) {
            *error = QCoreApplication::translate("CommandLine",
                                                 "--mqtt-base takes a topic without + or #, not \"%1\"")
                         .arg(p.parser.value(p.mqttBase));
            return false;
        }
        start->mqtt.base = base;
    }
    return true;
}

} // namespace CommandLine
