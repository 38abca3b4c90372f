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
    return settings;
}
