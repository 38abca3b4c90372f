#include "stationlog.h"

#include "engine/linkwatchdog.h"

#include <QTime>

StationLog::StationLog(Station &observed, Writer writer, TimeOfDay clock, QObject *parent)
    : QObject(parent)
    , station(observed)
    , write(std::move(writer))
    , timeOfDay(clock ? std::move(clock) : TimeOfDay([] {
        return QTime::currentTime().toString(QStringLiteral("hh:mm:ss")); // shown, not measured
    }))
    , last(observed.linkStatus())
{
    connect(&station, &Station::message, this, &StationLog::say);
    connect(&station, &Station::followNote, this, [this](quint64, int, const QString &text) { say(text); });
    connect(&station, &Station::notSaved, this, &StationLog::say);
    connect(&station, &Station::firmwareRead, this, [this](const Protocol::FirmwareRevision &revision) {
        say(tr("Connected! Firmware Revision: %1 . %2").arg(revision.major).arg(revision.minor));
    });
    connect(&station, &Station::linkChanged, this,
            [this](quint64, const Station::LinkStatus &status) { linkChanged(status); });
    connect(&station, &Station::alarmChanged, this,
            [this](quint64, const Station::Alarm &alarm) { alarmChanged(alarm); });
    connect(&station, &Station::commandDone, this,
            [this](const Station::Origin &origin, int channel, const Station::Result &result) {
                const QString text = commandText(station, origin, channel, result);
                if (!text.isEmpty())
                    say(text);
            });
}

void StationLog::say(const QString &text) { write(timeOfDay() + QLatin1Char(' ') + text); }

void StationLog::linkChanged(const Station::LinkStatus &status)
{
    const Station::LinkStatus before = last;
    last = status;
    const QString silence = QString::number(LinkWatchdog::TimeoutMs / 1000);
    if (status.kind == LinkMode::Serial) {
        // The port, then the box on it.
        if (status.connected != before.connected)
            say(status.connected ? tr("Serial link up") : tr("Serial link down"));
        if (status.boxAnswering && !before.boxAnswering)
            say(tr("The box answers"));
        else if (!status.boxAnswering && before.boxAnswering && status.connected)
            say(tr("The box is silent: no answer for %1 s").arg(silence));
        return;
    }
    // On the LAN the link is up while the box answers.
    if (status.boxAnswering && !before.boxAnswering)
        say(tr("LAN link up: the box answers"));
    else if (!status.boxAnswering && before.boxAnswering)
        say(status.connected ? tr("LAN link down: no answer from the box for %1 s").arg(silence) : tr("LAN link down"));
}

void StationLog::alarmChanged(const Station::Alarm &alarm)
{
    if (alarm.channel != 0)
        say(tr("ALARM: Channel %1 is transmitting on receive-only %2!")
                .arg(alarm.channel)
                .arg(station.antennaTitle(alarm.antenna)));
    else
        say(tr("Alarm over: no channel transmits on a receive-only antenna"));
}

QString StationLog::commandText(const Station &station, const Station::Origin &origin, int channel,
                                const Station::Result &result)
{
    QString by = Station::sourceName(origin.source);
    if (!origin.address.isEmpty())
        by += QLatin1Char(' ') + origin.address;
    const Switching::Command &command = result.outcome.command;
    if (result.sent) {
        switch (command.kind) {
        case Switching::Command::Kind::Select:
            if (!AntennaPosition::isAntenna(command.position))
                return tr("Channel %1: released (%2)").arg(channel).arg(by);
            return tr("Channel %1: %2 selected (%3)").arg(channel).arg(station.antennaTitle(command.position), by);
        case Switching::Command::Kind::SplitOn:
            return tr("Channel %1: split, receiving on %2, transmitting on %3 (%4)")
                .arg(channel)
                .arg(station.antennaTitle(command.rx), station.antennaTitle(command.position), by);
        case Switching::Command::Kind::SplitOff:
            return tr("Channel %1: split off (%2)").arg(channel).arg(by);
        }
    }
    switch (result.refusal) {
    case Station::Refusal::None:
    case Station::Refusal::NothingToSend:
        break;
    case Station::Refusal::BadArgument:
        return tr("Channel %1: refused, no such channel or antenna (%2)").arg(channel).arg(by);
    case Station::Refusal::NotConnected:
        return tr("Channel %1: nothing sent, the link is not connected (%2)").arg(channel).arg(by);
    case Station::Refusal::SplitChoiceElsewhere:
        return tr("Channel %1: refused, a split is being chosen on the other channel (%2)").arg(channel).arg(by);
    case Station::Refusal::ReceiveOnly:
        return tr("Channel %1: refused, %2 is receive-only (%3)")
            .arg(channel)
            .arg(station.antennaTitle(result.outcome.refused), by);
    case Station::Refusal::Transmitting:
        return tr("Channel %1: refused, the channel is transmitting (%2)").arg(channel).arg(by);
    case Station::Refusal::Locked:
        return tr("Channel %1: refused, remote switching is locked (%2)").arg(channel).arg(by);
    case Station::Refusal::BoxUnavailable:
        return tr("Channel %1: refused, the box is not answering (%2)").arg(channel).arg(by);
    }
    return {};
}
