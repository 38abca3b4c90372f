#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <utility>
#include <vector>

// The INI file beside the executable that holds everything the panel remembers.
// Every reader and writer opens its own QSettings on this path and lets it go at once.
namespace SettingsFile {

// dir + "/settings" + first argument + ".ini" when a first argument follows the program,
// dir + "/settings.ini" otherwise. The argument is used as given.
QString pathFor(const QString &applicationDir, const QStringList &arguments);

// The path for this process (application directory and command line).
QString path();

// Stores the values under their keys at once and checks that they reached the file.
// Returns an empty text when they did, else what to tell the operator: "Settings not
// saved: <path> is not writable".
QString store(const QString &path, const std::vector<std::pair<QString, QVariant>> &values);

// A stored boolean: "true"/"false" as written (or 1/0). Anything else is of the wrong
// type and reads as the default, false.
bool toBool(const QVariant &value);

namespace Key {
// Antenna n (1..6): "K<n>_1".
QString antennaName(int n);
inline QString id() { return QStringLiteral("ID"); }
inline QString ip() { return QStringLiteral("IP"); }
inline QString port() { return QStringLiteral("PORT"); }
inline QString directIp() { return QStringLiteral("IPdir"); }
inline QString serialMode() { return QStringLiteral("serialMode"); }
inline QString comIndex() { return QStringLiteral("comindex"); }
inline QString speedIndex() { return QStringLiteral("speedindex"); }
} // namespace Key

} // namespace SettingsFile
