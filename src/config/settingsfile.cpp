#include "settingsfile.h"

#include <QCoreApplication>

namespace SettingsFile {

QString pathFor(const QString &applicationDir, const QStringList &arguments)
{
    if (arguments.size() > 1)
        return applicationDir + QStringLiteral("/settings") + arguments.at(1) + QStringLiteral(".ini");
    return applicationDir + QStringLiteral("/settings.ini");
}

QString path()
{
    return pathFor(QCoreApplication::applicationDirPath(), QCoreApplication::arguments());
}

namespace Key {
QString antennaName(int n)
{
    return QStringLiteral("K%1_1").arg(n);
}
} // namespace Key

} // namespace SettingsFile
