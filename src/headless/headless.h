#pragma once

#include "config/panelsettings.h"
#include "engine/linkstate.h"
#include "mqtt/mqttsetup.h"

#include <QString>

#include <optional>

// zorvik-panel --headless: the station with no window and no display, for a station
// computer without a screen. It reads the panel's settings file, connects at once over the
// link the file names (or the one given for this run), follows the radios, the logger and
// OTRSP as the panel does, serves remote control and bridges to the MQTT broker as the file
// (or the run) says, and says
// what happens on standard error (StationLog). SIGTERM, SIGINT and SIGHUP end it cleanly
// with exit code 0.
namespace Headless {

struct Options
{
    QString settingsFile;
    // Overrides the file's link for this run.
    std::optional<LinkMode> link;
    // Override the file's remote control for this run (a control token made for the
    // network is stored all the same).
    std::optional<PanelSettings::Remote::Mode> remote;
    std::optional<quint16> remotePort;
    // Override the file's MQTT bridge for this run (never stored).
    MqttSetup::Overrides mqtt;
};

// Why the settings file cannot serve a headless station (missing, not a file, unreadable,
// not in the settings format); empty when it can.
QString settingsProblem(const QString &path);

// Runs the station until a quit signal, in the QCoreApplication the caller made. Exit codes:
// 0 after a quit signal, 1 when the serial port would not open, 2 when the settings file
// cannot be read.
int run(const Options &options);

} // namespace Headless
