#include "headless.h"

#include "engine/threadleitura.h"
#include "mqtt/mqttsetup.h"
#include "quitsignals.h"
#include "remote/remotesetup.h"
#include "serial/serialportdescription.h"
#include "station/station.h"
#include "stationlog.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>

#include <cstdio>

namespace Headless {

namespace {
void toStandardError(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

QString tr(const char *text) { return QCoreApplication::translate("Headless", text); }
} // namespace

QString settingsProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return tr("%1 does not exist: set the station up in the panel first, or name its profile").arg(path);
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return tr("%1 cannot be read: %2").arg(path, info.isFile() ? file.errorString() : tr("not a file"));
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return tr("%1 is not a settings file that can be read").arg(path);
    return {};
}

int run(const Options &options)
{
    StationLog::Writer write = &toStandardError;
    const QString problem = settingsProblem(options.settingsFile);
    if (!problem.isEmpty()) {
        write(QCoreApplication::applicationName() + QStringLiteral(": ") + problem);
        return 2;
    }
    // The log is the station's lines: the links' debug notes (one per datagram read) stay
    // out of it unless QT_LOGGING_RULES asks for them.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QuitSignals quitSignals;
    Station station(options.settingsFile);
    StationLog log(station, write);
    log.say(tr("Station started from %1").arg(options.settingsFile));
    station.loadSettings();
    if (options.link)
        station.setLinkMode(*options.link, false);
    // Served also while the box is out of reach: clients see the link down.
    RemoteSetup remote(station);
    if (options.remote)
        remote.overrideMode(*options.remote);
    if (options.remotePort)
        remote.overridePort(*options.remotePort);
    QObject::connect(&remote, &RemoteSetup::said, &log, &StationLog::say);
    QObject::connect(&remote, &RemoteSetup::tokenMade, &log, [&log](const QString &file) {
        log.say(tr("Remote control: made a new control token, stored in %1").arg(file));
    });
    remote.start();
    // Bridged also while the box is out of reach: <base>/state says it does not answer.
    MqttSetup mqtt(station);
    mqtt.setOverrides(options.mqtt);
    QObject::connect(&mqtt, &MqttSetup::said, &log, &StationLog::say);
    mqtt.start();
    // Stopped and joined before the station goes, as it asks the station for work.
    ThreadLeitura polling(station);
    const bool serial = station.linkMode() == LinkMode::Serial;
    const bool opened =
        station.connectBox([&] { return storedSerialParameters(station.settings().serial, availableSerialPorts()); });
    if (!opened) {
        log.say(tr("Serial port not opened: %1").arg(station.errorString().simplified()));
        return 1;
    }
    if (!serial && !station.settings().ip.isEmpty())
        log.say(tr("Polling the box at %1:%2 over the LAN").arg(station.settings().ip, station.settings().port));
    const int code = QCoreApplication::exec();
    log.say(tr("Stopped"));
    return code;
}

} // namespace Headless
