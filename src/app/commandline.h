#pragma once

#include "config/panelsettings.h"
#include "engine/linkstate.h"
#include "mqtt/mqttsetup.h"

#include <QString>
#include <QStringList>

#include <optional>

// The panel's command line: an optional profile (settings<profile>.ini instead of
// settings.ini), --connect, --headless with --link, --remote, --remote-port, --mqtt, --mqtt-host, --mqtt-port and
// --mqtt-base, --help (which also names the settings file in use) and --version.
namespace CommandLine {

// Whether the command line asks only to be answered (--help, -h, -?, --version, -v), which
// needs no display.
bool asksForAnswer(int argc, const char *const *argv);

struct Answer
{
    int exitCode = 0;
    QString text; // for standard output on success, standard error otherwise
};

// The answer to --help or --version, or the complaint about a command line that is not
// understood. `settingsPath` is the file the panel would use.
Answer answer(const QStringList &arguments, const QString &settingsPath);

// What a panel that runs is asked to do.
// Whether the command line asks for the station without a window (--headless), which needs
// no display either.
bool asksForHeadless(int argc, const char *const *argv);

struct Start
{
    // Connect to the box once the window is shown, in the stored link mode.
    bool connect = false;
    // The station without a window, connected at once...
    bool headless = false;
    // ...over this link rather than the stored one...
    std::optional<LinkMode> link;
    // ...with remote control local or on the network, on this port (0: a free one),
    // rather than as stored.
    std::optional<PanelSettings::Remote::Mode> remote;
    std::optional<quint16> remotePort;
    // ...and with the MQTT bridge on or off, to this broker, under this base, rather than
    // as stored.
    MqttSetup::Overrides mqtt;
};

// For a panel that runs: false, with the complaint in `error`, for options it does not know.
bool accept(const QStringList &arguments, Start *start, QString *error);

} // namespace CommandLine
