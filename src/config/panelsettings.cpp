#include "panelsettings.h"

#include "settingsfile.h"

#include <QSettings>

PanelSettings PanelSettings::load(const QString &path)
{
    using namespace SettingsFile;
    QSettings file(path, QSettings::IniFormat);
    useUtf8(file);
    PanelSettings settings;
    for (int n = 1; n <= 6; ++n) {
        settings.antennaNames[n - 1] = file.value(Key::antennaName(n)).toString();
        settings.receiveOnly[n - 1] = toBool(file.value(Key::receiveOnly(n)));
    }
    settings.id = file.value(Key::id()).toString();
    settings.ip = file.value(Key::ip()).toString();
    settings.port = file.value(Key::port()).toString();
    settings.directIp = toBool(file.value(Key::directIp()));
    const auto mode = static_cast<quint8>(file.value(Key::serialMode()).toInt());
    settings.linkMode = mode == static_cast<quint8>(LinkMode::Serial) ? LinkMode::Serial : LinkMode::Lan;
    settings.serial.comPort = file.value(Key::comPort()).toString();
    settings.serial.comIndex = file.value(Key::comIndex());
    settings.serial.speedIndex = file.value(Key::speedIndex());
    settings.serial.customSpeed = file.value(Key::customSpeed()).toString();
    settings.bandFollow = BandFollowSettings::read(file);
    Remote &remote = settings.remote;
    remote.mode = Remote::modeFrom(file.value(Key::remote()).toString()).value_or(Remote::Mode::Off);
    remote.address = file.value(Key::remoteAddress()).toString().trimmed();
    bool portRead = false;
    const uint port = file.value(Key::remotePort()).toString().trimmed().toUInt(&portRead);
    remote.port = portRead && port >= 1 && port <= 65535 ? quint16(port) : Remote::DefaultPort;
    remote.token = file.value(Key::remoteToken()).toString().trimmed();
    remote.viewToken = file.value(Key::remoteViewToken()).toString().trimmed();
    remote.locked = toBool(file.value(Key::remoteLocked()));
    Mqtt &mqtt = settings.mqtt;
    mqtt.on = file.value(Key::mqtt()).toString().trimmed().compare(QLatin1String("on"), Qt::CaseInsensitive) == 0;
    if (const QString host = file.value(Key::mqttHost()).toString().trimmed(); !host.isEmpty())
        mqtt.host = host;
    bool mqttPortRead = false;
    const uint mqttPort = file.value(Key::mqttPort()).toString().trimmed().toUInt(&mqttPortRead);
    mqtt.port = mqttPortRead && mqttPort >= 1 && mqttPort <= 65535 ? quint16(mqttPort) : Mqtt::DefaultPort;
    mqtt.user = file.value(Key::mqttUser()).toString();
    mqtt.password = file.value(Key::mqttPassword()).toString();
    mqtt.base = file.value(Key::mqttBase()).toString().trimmed();
    mqtt.discovery = file.value(Key::mqttDiscovery()).toString().trimmed().compare(QLatin1String("off"), Qt::CaseInsensitive) != 0;
    return settings;
}

QString PanelSettings::Remote::modeName(Mode mode)
{
    switch (mode) {
    case Mode::Local:
        return QStringLiteral("local");
    case Mode::Network:
        return QStringLiteral("network");
    case Mode::Off:
        break;
    }
    return QStringLiteral("off");
}

std::optional<PanelSettings::Remote::Mode> PanelSettings::Remote::modeFrom(const QString &name)
{
    for (const Mode mode : {Mode::Off, Mode::Local, Mode::Network}) {
        if (name.trimmed().compare(modeName(mode), Qt::CaseInsensitive) == 0)
            return mode;
    }
    return std::nullopt;
}
