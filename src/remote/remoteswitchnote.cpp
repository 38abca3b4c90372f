#include "remoteswitchnote.h"

#include <QCoreApplication>

namespace RemoteSwitchNote {

namespace {
QString tr(const char *text) { return QCoreApplication::translate("RemoteSwitchNote", text); }
} // namespace

QString text(const Station &station, const Station::Origin &origin, int channel, const Station::Result &result)
{
    if (!origin.isRemote() || !result.sent)
        return {};
    QString who;
    if (origin.source == Station::Source::Mqtt)
        who = origin.address.isEmpty() ? tr("MQTT") : tr("MQTT %1").arg(origin.address);
    else
        who = origin.address.isEmpty() ? tr("Remote") : tr("Remote %1").arg(origin.address);
    const Switching::Command &command = result.outcome.command;
    QString what;
    switch (command.kind) {
    case Switching::Command::Kind::Select:
        what = AntennaPosition::isAntenna(command.position) ? station.antennaTitle(command.position) : tr("released");
        break;
    case Switching::Command::Kind::SplitOn:
        what = tr("split, receive %1, transmit %2")
                   .arg(station.antennaTitle(command.rx), station.antennaTitle(command.position));
        break;
    case Switching::Command::Kind::SplitOff:
        what = tr("split off");
        break;
    }
    return tr("%1: channel %2 \u2192 %3").arg(who).arg(channel).arg(what);
}

} // namespace RemoteSwitchNote
