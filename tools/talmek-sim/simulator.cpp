#include "simulator.h"

#include "console.h"
#include "ptylink.h"
#include "serialportlink.h"
#include "signalwatcher.h"
#include "stdinreader.h"
#include "udplink.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QTimer>

using namespace TalmekSim;

Simulator::Simulator(const SimOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_policy(options.seed)
{
    m_box.setExclusive(options.exclusive);
    m_box.setFirmware(static_cast<quint8>(options.firmwareMajor), static_cast<quint8>(options.firmwareMinor));
    for (int channel : options.transmitting)
        m_box.setTransmitting(channel, true);
    m_policy.setSilent(options.silent);
    m_policy.setDropPercent(options.dropPercent);
}

bool Simulator::start(QString *error)
{
    Console::line(QStringLiteral("talmek-sim %1: Talmek switch box, firmware %2.%3, channels on no antenna%4")
                      .arg(QCoreApplication::applicationVersion())
                      .arg(m_options.firmwareMajor)
                      .arg(m_options.firmwareMinor)
                      .arg(m_options.exclusive ? QStringLiteral(", exclusive") : QString()));

    auto *watcher = new SignalWatcher(this);
    if (watcher->start())
        connect(watcher, &SignalWatcher::terminationRequested, qApp, &QCoreApplication::quit);

    if (m_options.pty) {
        auto *pty = new PtyLink(m_box, m_policy, m_options.link, this);
        if (!pty->open(m_options.ptyLink, error))
            return false;
        m_serialLinks.append(pty);
        Console::line(QStringLiteral("PTY %1").arg(pty->slavePath()));
        if (!m_options.ptyLink.isEmpty())
            Console::line(QStringLiteral("LINK %1 -> %2").arg(m_options.ptyLink, pty->slavePath()));
    }
    if (!m_options.serialName.isEmpty()) {
        auto *port = new SerialPortLink(m_box, m_policy, m_options.link, this);
        if (!port->open(m_options.serialName, m_options.baudRate, error))
            return false;
        m_serialLinks.append(port);
        Console::line(QStringLiteral("SERIAL %1 %2").arg(m_options.serialName).arg(m_options.baudRate));
    }
    if (m_options.udp) {
        QHostAddress address;
        if (m_options.udpBind == QLatin1String("localhost"))
            address = QHostAddress::LocalHost;
        else if (!address.setAddress(m_options.udpBind)) {
            *error = QStringLiteral("--udp-bind: not an address: %1").arg(m_options.udpBind);
            return false;
        }
        m_udp = new UdpLink(m_box, m_policy, m_options.link, this);
        if (!m_udp->bind(address, m_options.udpPort, error))
            return false;
        QString shown = m_udp->localAddress().toString();
        if (m_udp->localAddress().protocol() == QAbstractSocket::IPv6Protocol)
            shown = QStringLiteral("[%1]").arg(shown);
        Console::line(QStringLiteral("UDP %1:%2").arg(shown).arg(m_udp->localPort()));
    }

    if (m_options.silentAfterSeconds >= 0) {
        QTimer::singleShot(static_cast<int>(m_options.silentAfterSeconds * 1000), this, [this] {
            m_policy.setSilent(true);
            Console::line(QStringLiteral("SILENT on"));
        });
    }

    auto *input = new StdinReader(this);
    if (input->start())
        connect(input, &StdinReader::lineReceived, this, &Simulator::handleControlLine);
    return true;
}

void Simulator::handleControlLine(const QString &line) { execute(parseControlLine(line)); }

void Simulator::execute(const ControlCommand &command)
{
    const auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    switch (command.kind) {
    case ControlCommand::Kind::Empty:
        return;
    case ControlCommand::Kind::Invalid:
        Console::error(command.error);
        return;
    case ControlCommand::Kind::Transmit:
        m_box.setTransmitting(command.channel, command.on);
        Console::line(QStringLiteral("OK tx %1 %2").arg(command.channel).arg(onOff(command.on)));
        return;
    case ControlCommand::Kind::Select: {
        BoxCommand select;
        select.kind = BoxCommand::Kind::Select;
        select.channel = command.channel;
        select.position = command.value == 0 ? NoAntenna : command.value - 1;
        if (m_box.apply(select) == Outcome::Applied)
            Console::line(QStringLiteral("OK select %1 %2").arg(command.channel).arg(command.value));
        else
            Console::error(QStringLiteral("select: refused by the box"));
        return;
    }
    case ControlCommand::Kind::Silent:
        m_policy.setSilent(command.on);
        Console::line(QStringLiteral("OK silent %1").arg(onOff(command.on)));
        return;
    case ControlCommand::Kind::Drop:
        m_policy.setDropPercent(command.value);
        Console::line(QStringLiteral("OK drop %1").arg(command.value));
        return;
    case ControlCommand::Kind::Noise:
        if (m_serialLinks.isEmpty()) {
            Console::error(QStringLiteral("noise: no serial line to write to"));
            return;
        }
        for (SerialLink *link : qAsConst(m_serialLinks))
            link->sendRaw(m_policy.noise(command.value));
        Console::line(QStringLiteral("OK noise %1").arg(command.value));
        return;
    case ControlCommand::Kind::State:
        Console::line(m_box.stateLine());
        for (const SerialLink *link : qAsConst(m_serialLinks)) {
            const SerialCommandParser &parser = link->session().parser();
            Console::line(QStringLiteral("STATS %1 commands=%2 skipped-bytes=%3 malformed=%4")
                              .arg(link->transport())
                              .arg(parser.commandCount())
                              .arg(parser.skippedBytes())
                              .arg(parser.malformedCount()));
        }
        if (m_udp)
            Console::line(QStringLiteral("STATS udp malformed=%1").arg(m_udp->session().malformedCount()));
        return;
    case ControlCommand::Kind::Help:
        Console::line(controlHelpText());
        return;
    case ControlCommand::Kind::Quit:
        QCoreApplication::quit();
        return;
    }
}
