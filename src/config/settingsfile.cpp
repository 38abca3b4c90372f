#include "settingsfile.h"

#include <QCoreApplication>

namespace SettingsFile {

QString pathFor(const QString &applicationDir, const QStringList &arguments)
{
    if (arguments.size() > 1)
        return applicationDir + QStringLiteral("/settings") + arguments.at(1) + QStringLiteral(".ini");
    return applicationDir + QStringLiteral("/settings.ini");
}

QString path() { return pathFor(QCoreApplication::applicationDirPath(), QCoreApplication::arguments()); }

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
