#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <utility>
#include <vector>

// The INI file that holds everything the panel remembers. Every reader and writer opens
// its own QSettings on this path and lets it go at once.
//
// Where it lives: beside the executable (the build folder, a portable copy, or any
// installation that already keeps its file there), except for an installed panel with no
// file beside it, which keeps it in the user's configuration folder; an installed panel
// never writes beside its executable, also when run as root.
namespace SettingsFile {

// "settings.ini", or "settings" + profile + ".ini" for a profile, inserted as given.
QString fileName(const QString &profile);

// The profile on a command line: its first argument after the program that is neither an
// option ("-h", "--version") nor an option's value ("--link serial", "--remote local",
// "--remote-port 8750", "--mqtt on", "--mqtt-host", "--mqtt-port", "--mqtt-base"); empty
// when there is none.
QString profileFrom(const QStringList &arguments);

struct Place
{
    // The folder of the executable.
    QString applicationDir;
    // Where an installation puts the executable; empty for none.
    QString installedBinDir;
    // The user's configuration folder for the panel.
    QString userConfigDir;
};

QString pathFor(const Place &place, const QString &profile, const std::function<bool(const QString &)> &exists);
// Beside the executable, whatever the folder (a build or portable copy).
QString pathFor(const QString &applicationDir, const QStringList &arguments);

// This process's place (application directory, installation folder, user folder).
Place place();
// The path for this process (its place and command line).
QString path();

// Reads and writes the file as UTF-8, as Qt 6 always does, so that either build reads what
// the other stored (escaped text that earlier builds wrote still reads back the same).
void useUtf8(QSettings &settings);

// Stores the values under their keys at once and checks that they reached the file. A file
// that holds a token or the broker's password afterwards is kept private (keepTokensPrivate),
// from before it is written.
// Returns an empty text when they did, else what to tell the operator: "Settings not
// saved: <path> is not writable".
QString store(const QString &path, const std::vector<std::pair<QString, QVariant>> &values);

// Whether the file holds a remote control token (REMOTE_TOKEN or REMOTE_VIEW_TOKEN) or the
// broker's password (MQTT_PASSWORD).
bool holdsToken(const QString &path);
// On Linux, makes a file that holds a token or the broker's password readable and writable
// by its owner alone (the tokens open the station to whoever reads them, the password the
// broker); elsewhere, and for a file without either, does nothing. store() does it; a reader of a file others may have written calls it.
void keepTokensPrivate(const QString &path);

// A stored boolean: "true"/"false" as written (or 1/0). Anything else is of the wrong
// type and reads as the default, false.
bool toBool(const QVariant &value);

namespace Key {
// Antenna n (1..6): "K<n>_1".
QString antennaName(int n);
// Antenna n (1..6) is receive-only: "RXONLY_<n>", 1 or true.
QString receiveOnly(int n);
inline QString id() { return QStringLiteral("ID"); }
inline QString ip() { return QStringLiteral("IP"); }
inline QString port() { return QStringLiteral("PORT"); }
inline QString directIp() { return QStringLiteral("IPdir"); }
inline QString serialMode() { return QStringLiteral("serialMode"); }
inline QString comIndex() { return QStringLiteral("comindex"); }
// The port chosen, by name (a listed port or a typed path); it wins over "comindex".
inline QString comPort() { return QStringLiteral("comport"); }
inline QString speedIndex() { return QStringLiteral("speedindex"); }
// The baud rate typed under "Custom" (speedindex at that entry).
inline QString customSpeed() { return QStringLiteral("customspeed"); }
// The remote control.
inline QString remote() { return QStringLiteral("REMOTE"); }
inline QString remoteAddress() { return QStringLiteral("REMOTE_ADDRESS"); }
inline QString remotePort() { return QStringLiteral("REMOTE_PORT"); }
inline QString remoteToken() { return QStringLiteral("REMOTE_TOKEN"); }
inline QString remoteViewToken() { return QStringLiteral("REMOTE_VIEW_TOKEN"); }
inline QString remoteLocked() { return QStringLiteral("REMOTE_LOCKED"); }
// The message broker.
inline QString mqtt() { return QStringLiteral("MQTT"); }
inline QString mqttHost() { return QStringLiteral("MQTT_HOST"); }
inline QString mqttPort() { return QStringLiteral("MQTT_PORT"); }
inline QString mqttUser() { return QStringLiteral("MQTT_USER"); }
inline QString mqttPassword() { return QStringLiteral("MQTT_PASSWORD"); }
inline QString mqttBase() { return QStringLiteral("MQTT_BASE"); }
inline QString mqttDiscovery() { return QStringLiteral("MQTT_DISCOVERY"); }
} // namespace Key

} // namespace SettingsFile
