#include "settingsfile.h"

#include <QCoreApplication>
#include <QSettings>

namespace SettingsFile {

QString pathFor(const QString &applicationDir, const QStringList &arguments)
{
    if (arguments.size() > 1)
        return applicationDir + QStringLiteral("/settings") + arguments.at(1) + QStringLiteral(".ini");
    return applicationDir + QStringLiteral("/settings.ini");
}

QString path() { return pathFor(QCoreApplication::applicationDirPath(), QCoreApplication::arguments()); }

QString store(const QString &path, const std::vector<std::pair<QString, QVariant>> &values)
{
    QSettings settings(path, QSettings::IniFormat);
    for (const auto &[key, value] : values)
        settings.setValue(key, value);
    settings.sync();
    switch (settings.status()) {
    case QSettings::NoError:
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
    if (value.type() == QVariant::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed();
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1");
}

namespace Key {
QString antennaName(int n) { return QStringLiteral("K%1_1").arg(n); }
} // namespace Key

} // namespace SettingsFile
