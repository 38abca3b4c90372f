#include "statejson.h"

#include "rig/bandplan.h"
#include "station/station.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonValue antennaNumber(quint8 position)
{
    return AntennaPosition::isAntenna(position) ? QJsonValue(position + 1) : QJsonValue();
}

QString followName(BandFollowSettings::Source source)
{
    switch (source) {
    case BandFollowSettings::Source::Rigctld:
        return QStringLiteral("rigctld");
    case BandFollowSettings::Source::Logger:
        return QStringLiteral("logger");
    case BandFollowSettings::Source::Otrsp:
        return QStringLiteral("otrsp");
    case BandFollowSettings::Source::Off:
        break;
    }
    return QStringLiteral("off");
}

QJsonObject channelJson(const Station &station, int channel, bool known)
{
    const DeviceState &state = station.deviceState();
    const auto c = size_t(channel);
    QJsonObject json;
    json.insert(QStringLiteral("number"), channel);
    json.insert(QStringLiteral("antenna"), known ? antennaNumber(state.antenna[c]) : QJsonValue());
    json.insert(QStringLiteral("transmitting"), known && state.transmitting[c] != 0);
    QJsonValue split;
    if (known && state.splitActive[c] == 1) {
        split = QJsonObject{{QStringLiteral("rx"), antennaNumber(state.antenna[c])},
                            {QStringLiteral("tx"), antennaNumber(state.splitTxAntenna[c])}};
    }
    json.insert(QStringLiteral("split"), split);
    const std::optional<int> band = station.band(channel);
    json.insert(QStringLiteral("band"), band ? QJsonValue(BandPlan::bandName(*band) + QLatin1Char('m')) : QJsonValue());
    const BandFollowSettings::Radio &radio = station.settings().bandFollow.radio[c];
    json.insert(QStringLiteral("follow"), followName(radio.follows() ? radio.source : BandFollowSettings::Source::Off));
    const Station::Alarm alarm = station.alarm();
    json.insert(QStringLiteral("alarm"),
                alarm.channel == channel ? QJsonValue(Station::tr("Channel %1 is transmitting on receive-only %2!")
                                                          .arg(channel)
                                                          .arg(station.antennaTitle(alarm.antenna)))
                                         : QJsonValue());
    return json;
}

} // namespace

namespace StateJson {

QJsonObject of(const Station &station)
{
    const Station::LinkStatus link = station.linkStatus();
    const PanelSettings &settings = station.settings();
    QJsonObject json;
    json.insert(QStringLiteral("revision"), double(station.revision()));
    json.insert(QStringLiteral("id"), settings.id);
    const std::optional<qint64> ping = station.pingMs();
    json.insert(QStringLiteral("link"),
                QJsonObject{{QStringLiteral("kind"),
                             link.kind == LinkMode::Serial ? QStringLiteral("serial") : QStringLiteral("lan")},
                            {QStringLiteral("connected"), link.connected},
                            {QStringLiteral("boxAnswering"), link.boxAnswering},
                            {QStringLiteral("pingMs"), ping && link.boxAnswering ? QJsonValue(double(*ping)) : QJsonValue()}});
    json.insert(QStringLiteral("locked"), station.remoteLocked());
    QJsonArray antennas;
    for (int position = 0; position <= AntennaPosition::Last; ++position) {
        antennas.append(QJsonObject{{QStringLiteral("number"), position + 1},
                                    {QStringLiteral("name"), settings.antennaNames[size_t(position)]},
                                    {QStringLiteral("receiveOnly"), settings.receiveOnly[size_t(position)]}});
    }
    json.insert(QStringLiteral("antennas"), antennas);
    QJsonArray channels;
    for (int channel = 1; channel <= 2; ++channel)
        channels.append(channelJson(station, channel, link.boxAnswering && station.boxStateKnown()));
    json.insert(QStringLiteral("channels"), channels);
    return json;
}

QByteArray compact(const Station &station) { return QJsonDocument(of(station)).toJson(QJsonDocument::Compact); }

} // namespace StateJson
