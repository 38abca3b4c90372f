#include "settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace SettingsFile {

QString fileName(const QString &profile) { return QStringLiteral("settings") + profile + QStringLiteral(".ini"); }

QString profileFrom(const QStringList &arguments)
{
    // Options whose value may follow as the next argument: that value is no profile.
    const QStringList takingValue = {QStringLiteral("--link"),        QStringLiteral("-link"),
                                     QStringLiteral("--remote"),      QStringLiteral("-remote"),
                                     QStringLiteral("--remote-port"), QStringLiteral("-remote-port"),
                                     QStringLiteral("--mqtt"),        QStringLiteral("-mqtt"),
                                     QStringLiteral("--mqtt-host"),   QStringLiteral("-mqtt-host"),
                                     QStringLiteral("--mqtt-port"),   QStringLiteral("-mqtt-port"),
                                     QStringLiteral("--mqtt-base"),   QStringLiteral("-mqtt-base")};
    for (int i = 1; i < arguments.size(); ++i) {
        if (takingValue.contains(arguments.at(i)))
            ++i;
        else if (!arguments.at(i).startsWith(QLatin1Char('-')))
            return arguments.at(i);
    }
    return {};
}

QString pathFor(const Place &place, const QString &profile, const std::function<bool(const QString &)> &exists)
{
    const QString beside = place.applicationDir + QLatin1Char('/') + fileName(profile);
    const bool installed = !place.installedBinDir.isEmpty()
        && QDir::cleanPath(place.applicationDir) == QDir::cleanPath(place.installedBinDir);
    if (!installed || exists(beside))
        return beside;
    return place.userConfigDir + QLatin1Char('/') + fileName(profile);
}

QString pathFor(const QString &applicationDir, const QStringList &arguments)
{
    return pathFor(Place{applicationDir, QString(), QString()}, profileFrom(arguments),
                   [](const QString &) { return true; });
}

Place place()
{
    Place here;
    here.applicationDir = QCoreApplication::applicationDirPath();
#ifdef ZORVIK_INSTALL_BINDIR
    here.installedBinDir = QStringLiteral(ZORVIK_INSTALL_BINDIR);
#endif
    here.userConfigDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return here;
}

QString path()
{
    return pathFor(place(), profileFrom(QCoreApplication::arguments()),
                   [](const QString &file) { return QFileInfo::exists(file); });
}

void useUtf8(QSettings &settings)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    settings.setIniCodec("UTF-8");
#else
    Q_UNUSED(settings)
#endif
}

namespace {
// The keys whose values open the station (the remote control's tokens) or lend its
// credentials to another service (the broker's password).
bool isSecret(const QString &key)
{
    return key == Key::remoteToken() || key == Key::remoteViewToken() || key == Key::mqttPassword();
}

void makePrivate(const QString &path)
{
#ifdef Q_OS_LINUX
    QFile file(path);
    if (file.exists())
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#else
    Q_UNUSED(path)
#endif
}
} // namespace

bool holdsToken(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    for (const QString &key : {Key::remoteToken(), Key::remoteViewToken(), Key::mqttPassword()}) {
        if (!settings.value(key).toString().isEmpty())
            return true;
    }
    return false;
}

void keepTokensPrivate(const QString &path)
{
    if (holdsToken(path))
        makePrivate(path);
}

QString store(const QString &path, const std::vector<std::pair<QString, QVariant>> &values)
{
    // The file is written anew beside the old one with the old one's permissions: made
    // private first, a token or a password never lies readable by others, not even for a moment.
    for (const auto &[key, value] : values) {
        if (isSecret(key) && !value.toString().isEmpty()) {
            if (!QFileInfo::exists(path)) {
                QFile created(path);
                if (created.open(QIODevice::WriteOnly))
                    created.close();
            }
            makePrivate(path);
            break;
        }
    }
    QSettings settings(path, QSettings::IniFormat);
    useUtf8(settings);
    for (const auto &[key, value] : values)
        settings.setValue(key, value);
    settings.sync();
    switch (settings.status()) {
    case QSettings::NoError:
        keepTokensPrivate(path);
        return {};
    case QSettings::AccessError:
        return QCoreApplication::translate("SettingsFile", "Settings not saved: %1 is not writable").arg(path);
    case QSettings::FormatError:
        break;
    }
    return QCoreApplication::translate("SettingsFile", "Settings not saved: %1 is not a settings file").arg(path);
}

bool toBool(const QVariant &value)
{
    if (value.userType() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed();
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1");
}

namespace Key {
QString antennaName(int n) { return QStringLiteral("K%1_1").arg(n); }
QString receiveOnly(int n) { return QStringLiteral("RXONLY_%1").arg(n); }
} // namespace Key

} // namespace SettingsFile
