#pragma once

// The talmek-sim process as the box of a test, on either link: a pseudo-terminal, or UDP on
// the box's loopback address, with --hex so that every frame it receives and sends can be
// read back. The program under test (the window, or the station alone) says which LAN port
// it sends from and how many datagrams it has read.
//
// Helpers that can fail return false after a qWarning() that says why.

#include "loopbackaddress.h"
#include "serial/serialportdescription.h"
#include "talmeksimprocess.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QVariantMap>

#include <memory>

// How the panel reaches the box.
enum class Link { Serial, Lan };
Q_DECLARE_METATYPE(Link)

// The link as a data column: one row a link, for scenarios both links share.
inline void addLinkRows()
{
    QTest::addColumn<Link>("link");
    QTest::newRow("serial") << Link::Serial;
    QTest::newRow("LAN") << Link::Lan;
}

class SimBox
{
public:
    SimBox() = default;
    SimBox(const SimBox &) = delete;
    SimBox &operator=(const SimBox &) = delete;

    // A serial port the program lists.
    static SerialPortDescription port(const QString &name)
    {
        SerialPortDescription description;
        description.portName = name;
        return description;
    }

    static QHostAddress boxAddress() { return LoopbackAddress::box(); }

    // Starts the simulator for `link`: on a pseudo-terminal (at `ptyLink` when given, a
    // fixed name that each new box puts its own line behind), or on UDP `port` of the box's
    // address (0: any free port).
    bool startBox(Link link, const QStringList &arguments = {}, const QString &ptyLink = {}, quint16 port = 0)
    {
        boxLink = link;
        sim = std::make_unique<TalmekSimProcess>();
        QStringList all{QStringLiteral("--hex")};
        if (link == Link::Serial) {
            all << QStringLiteral("--pty");
            if (!ptyLink.isEmpty())
                all << ptyLink;
        } else {
            all << QStringLiteral("--udp") << QString::number(port) << QStringLiteral("--udp-bind")
                << boxAddress().toString();
        }
        if (!check(sim->start(all + arguments), "talmek-sim did not start"))
            return false;
        if (link == Link::Serial) {
            boxPort = ptyLink.isEmpty() ? sim->ptyPath() : ptyLink;
            return true;
        }
        const QString line = sim->waitForLine(QStringLiteral("UDP "), 0, 5000);
        if (!check(line.startsWith(QStringLiteral("UDP ") + boxAddress().toString() + QLatin1Char(':')),
                   qPrintable(QStringLiteral("talmek-sim said \"%1\"").arg(line))))
            return false;
        boxPort = line.section(QLatin1Char(':'), 1);
        return check(boxPort.toUShort() != 0 && (port == 0 || boxPort.toUShort() == port), "no UDP port");
    }

    // The settings and port list that point a window at the box started last.
    QVariantMap linkSettings() const
    {
        if (boxLink == Link::Serial)
            return {{QStringLiteral("serialMode"), 2}};
        return {{QStringLiteral("serialMode"), 1},
                {QStringLiteral("IP"), boxAddress().toString()},
                {QStringLiteral("PORT"), boxPort}};
    }
    QList<SerialPortDescription> linkPorts() const
    {
        return boxLink == Link::Serial ? QList<SerialPortDescription>{port(boxPort)} : QList<SerialPortDescription>{};
    }
    // The serial port's name, or the box's UDP port.
    QString boxPortName() const { return boxPort; }

    // The payloads (hex, as the simulator prints them) of what the box received from the
    // panel, from the simulator's console line `from` on.
    QStringList received(int from) const
    {
        QStringList payloads;
        for (int i = qMax(0, from); i < sim->lines().size(); ++i) {
            const QStringList words = sim->lines().at(i).split(QLatin1Char(' '));
            if (words.size() < 3 || words.at(0) != QLatin1String("RX"))
                continue;
            // Bytes the box skipped between frames (the serial link pads its frames) are
            // no payload.
            if (boxLink == Link::Serial && words.at(1) == QLatin1String("pty")
                && words.at(2) != QLatin1String("skipped"))
                payloads << words.mid(2).join(QLatin1Char(' '));
            else if (boxLink == Link::Lan && words.size() > 3 && words.at(1) == QLatin1String("udp")
                     && fromPanel(words.at(2)))
                payloads << words.mid(3).join(QLatin1Char(' '));
        }
        return payloads;
    }
    // The same without the state requests of the polling.
    QStringList commandsReceived(int from) const
    {
        QStringList commands = received(from);
        commands.removeAll(stateRequest());
        return commands;
    }
    int stateRequestsReceived(int from = 0) const { return received(from).count(stateRequest()); }

    // Status replies the box sent to the panel from console line `from` on.
    int repliesSent(int from) const
    {
        int n = 0;
        for (int i = qMax(0, from); i < sim->lines().size(); ++i) {
            const QString &line = sim->lines().at(i);
            if (boxLink == Link::Serial)
                n += line.startsWith(QLatin1String("TX pty 49 47 05 "))
                    || line.startsWith(QLatin1String("TX pty 49 47 54 "));
            else
                n += line.startsWith(QLatin1String("TX udp ")) && fromPanel(line.section(QLatin1Char(' '), 2, 2));
        }
        return n;
    }

    // Waits until the panel has read `count` more status replies. On the LAN the worker
    // counts what it reads. On the serial line the panel reads a reply on the tick after its
    // request and sends the next request a tick later, so one more reply than asked for
    // means the last one asked for has been read.
    bool waitForReplies(int count)
    {
        if (boxLink == Link::Lan) {
            const quint64 target = datagramsRead() + quint64(count);
            return check(QTest::qWaitFor([&] { return datagramsRead() >= target; }, 3000), "too few replies read");
        }
        const int from = sim->lineCount();
        return check(QTest::qWaitFor([&] { return repliesSent(from) >= count + 1; }, 3000), "too few replies sent");
    }

    // What the polling asks the box.
    QString stateRequest() const
    {
        return boxLink == Link::Serial ? QStringLiteral("49 47 05 33 3B") : QStringLiteral("FE 01 FD");
    }

    std::unique_ptr<TalmekSimProcess> sim;

protected:
    ~SimBox() = default;
    // The LAN port the program under test sends from, and the datagrams it has read.
    virtual quint16 panelLanPort() const = 0;
    virtual quint64 datagramsRead() const = 0;

    static bool check(bool ok, const char *why)
    {
        if (!ok)
            qWarning("%s", why);
        return ok;
    }

    Link boxLink = Link::Serial;
    QString boxPort;

private:
    // A simulator's "address:port" names the program's socket.
    bool fromPanel(const QString &peer) const
    {
        return peer.endsWith(QLatin1Char(':') + QString::number(panelLanPort()));
    }
};
